# OpenSSL 3 for FTP over TLS (the process already carries it through libcurl).
find_package(OpenSSL 3 REQUIRED)
target_link_libraries(wexmoor_core PUBLIC OpenSSL::SSL OpenSSL::Crypto)

#include "program/program_state.h"

namespace wexmoor {

ProgramState::ProgramState(Text ipEchoUrl)
    : random(std::random_device{}()), ftp(clock, ports, flags.lastProgressTime, std::move(ipEchoUrl)) {}

}  // namespace wexmoor

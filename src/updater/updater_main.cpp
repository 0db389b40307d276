#include "updater/updater.h"

int main(int argc, char** argv) { return wexmoor::updater::RunUpdater(argc, argv); }

// Entry point of the torvwy command.
#include "cli/commands.h"

int main(int argc, char** argv) { return torvwy::cli::Main(argc, argv); }

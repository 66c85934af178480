#include "cli/commands.h"

int main(int argc, char** argv) { return qv::cli::RunQvupdate(argc, argv); }

// arcwise-reg: a reg.exe-style tool for the platform registry (query, add,
// delete, export, import). It reaches the registry only through the Win32
// API of the platform library, so it sees exactly what the module sees.
#include <string>

#include "command_line.h"
#include "commands.h"

int main(int argc, char** argv) {
  CommandLine command;
  std::string error;
  if (!ParseCommandLine(argc, argv, &command, &error)) return Fail(error);
  if (command.operation == "query") return RunQuery(command);
  if (command.operation == "add") return RunAdd(command);
  if (command.operation == "delete") return RunDelete(command);
  if (command.operation == "export") return RunExport(command);
  if (command.operation == "import") return RunImport(command);
  return Fail("Invalid syntax. Unknown operation " + std::string(argv[1]) +
              " (use query, add, delete, export or import).");
}

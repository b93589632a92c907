// The operations of arcwise-reg, each as reg.exe behaves where a prompt is
// not possible: they print their result on stdout, one "ERROR: ..." line on
// stderr on failure, and return the process exit code. Single-threaded.
#pragma once

#include "command_line.h"

int RunQuery(const CommandLine& command);
int RunAdd(const CommandLine& command);
int RunDelete(const CommandLine& command);
int RunExport(const CommandLine& command);
int RunImport(const CommandLine& command);

// Prints "ERROR: <message>" on stderr and returns the failure exit code.
int Fail(const std::string& message);

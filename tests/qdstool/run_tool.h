// Running the built qdstool as a user runs it, for the tests of its commands.

#ifndef KNITFOLD_TESTS_QDSTOOL_RUN_TOOL_H_
#define KNITFOLD_TESTS_QDSTOOL_RUN_TOOL_H_

#include <chrono>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace qds::test {

// Every run ends within seconds; one that would not is stopped.
inline ProcessResult Tool(const std::vector<std::string>& arguments) {
  return RunProcess(BuiltProgram("bin/qdstool"), arguments, {}, std::chrono::seconds(30));
}

}  // namespace qds::test

#endif  // KNITFOLD_TESTS_QDSTOOL_RUN_TOOL_H_

#pragma once

#include <string>
#include <vector>

namespace upd::test {

// Runs a Python program (python3, or $PYTHON3) over input lines and returns
// its output lines. The program reads the input file named by sys.argv[1];
// fields inside a line are separated by '\t'. An empty result means the
// program failed.
std::vector<std::string> RunPythonOracle(const std::string& program,
                                         const std::vector<std::string>& input_lines);

// Runs a Python script of the source tree (a path relative to its top) and
// returns its non-empty output lines; empty when the script failed.
std::vector<std::string> RunPythonScript(const std::string& relative_path);

}  // namespace upd::test

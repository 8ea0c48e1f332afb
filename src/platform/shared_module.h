#pragma once
// Code loaded while the program runs: a module of ours (a shared library
// installed beside the program) opened when it is first needed, for the
// parts that bring heavy libraries with them. A module stays loaded until
// the process ends.

#include <stdexcept>
#include <string>

namespace tessellon {

// A module that cannot be loaded or lacks the function asked for. The
// message is the loader's, naming the module.
class EModuleError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The address of the function `name` in the module at `path`, loading the
// module on the first call. Throws EModuleError.
void* ModuleFunction(const std::string& path, const char* name);

}  // namespace tessellon

#include "platform/shared_module.h"

#include <dlfcn.h>

namespace tessellon {

namespace {

// The loader's words name the module: "PATH: cannot open shared object
// file: No such file or directory".
std::string LoaderReason() {
    const char* reason = ::dlerror();
    return reason != nullptr ? reason : "unknown reason";
}

}  // namespace

void* ModuleFunction(const std::string& path, const char* name) {
    // A second dlopen of a loaded module only counts a reference; the
    // module is never closed.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        throw EModuleError(LoaderReason());
    }
    void* function = ::dlsym(module, name);
    if (function == nullptr) {
        throw EModuleError(LoaderReason());
    }
    return function;
}

}  // namespace tessellon

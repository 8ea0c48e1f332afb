#pragma once
// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.

#include <string>

namespace tessellon::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending in "/".
    const std::string& Path() const { return path_; }
    // Path() + name.
    std::string File(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

}  // namespace tessellon::test

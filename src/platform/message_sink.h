#pragma once
// Where the core shows a message to the user: a modal message box in the
// desktop program, standard error in the command-line program.

#include <string>

namespace tessellon {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace tessellon

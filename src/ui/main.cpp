// tessellon: the desktop program.

#include "application.h"

int main(int argc, char** argv) {
    return tessellon::RunDesktopProgram(argc, argv);
}

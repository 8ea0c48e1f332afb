// One program runs every registered window test class on the offscreen
// platform.

#include <QApplication>
#include <QTest>

#include "ui_test_support.h"

namespace tessellon::test {

namespace {

std::vector<UiTestFactory>& Registry() {
    static std::vector<UiTestFactory> factories;
    return factories;
}

}  // namespace

int RegisterUiTest(UiTestFactory factory) {
    Registry().push_back(std::move(factory));
    return static_cast<int>(Registry().size());
}

}  // namespace tessellon::test

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tessellon");
    int failed = 0;
    for (const auto& factory : tessellon::test::Registry()) {
        std::unique_ptr<QObject> test = factory();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}

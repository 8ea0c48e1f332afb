#pragma once
// The options window TfrmOptions: the default save folder, the proxy
// settings and the built-in services' hosts of the configuration file. Each
// showing reloads them; "OK" writes them, "Cancel" writes nothing.

#include <QDialog>
#include <string>

#include "desktop.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tessellon {

class TfrmOptions final : public QDialog {
    Q_OBJECT
public:
    TfrmOptions(Desktop& desktop, std::string configFileName, QWidget* parent);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void Button3Click();
    void Button1Click();

    Desktop& desktop_;
    std::string configFileName_;
    QLineEdit* Edit12;
    QSpinBox* UpDown1;
    QCheckBox* CheckBoxUseProxy;
    QLineEdit* EditProxyServer;
    QLineEdit* EditProxyPort;
    QLineEdit* EditProxyUsername;
    QLineEdit* EditProxyPassword;
    QLineEdit* EditMapHost;
    QLineEdit* EditSatelliteHost;
};

}  // namespace tessellon

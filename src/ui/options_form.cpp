#include "options_form.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "control/configuration.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "task/contract_texts.h"

namespace tessellon {

namespace {

constexpr int kProxyEditLeft = 138;
constexpr int kProxyEditWidth = 159;
// The threads field: its value is kept only while the program runs.
constexpr int kMaxThreads = 64;

}  // namespace

TfrmOptions::TfrmOptions(Desktop& desktop, std::string configFileName, QWidget* parent)
    : QDialog(parent), desktop_(desktop), configFileName_(std::move(configFileName)) {
    form::MakeFixedDialog(this, "frmOptions", form::MsSansSerif(8), "Options", 360, 430);

    QFrame* panel = form::Panel(this, {8, 10, 337, 87}, QFrame::Raised);
    Edit12 = form::Edit(panel, "Edit12", 126, 11, 166);
    form::Label(panel, kDefaultPathCaption, 8, 16, Edit12);
    QPushButton* Button3 = form::Button(panel, "Button3", "...", {296, 8, 33, 25});
    Button3->setAccessibleName("Select path");
    UpDown1 = form::UpDownEdit(panel, "Edit2", "UpDown1", 127, 52, 39, 1, kMaxThreads, 1);
    form::Label(panel, "Default threads number:", 8, 50, UpDown1);

    QGroupBox* proxy = form::GroupBox(this, nullptr, QString(), {8, 112, 337, 177});
    CheckBoxUseProxy = new QCheckBox("Use proxy server", proxy);
    CheckBoxUseProxy->setObjectName("CheckBoxUseProxy");
    CheckBoxUseProxy->move(16, 24);
    CheckBoxUseProxy->adjustSize();
    struct ProxyField {
        QLineEdit*& edit;
        const char* name;
        const char* label;
        int top;
    };
    for (const ProxyField& field :
         {ProxyField{EditProxyServer, "EditProxyServer", "Proxy Server Name (IP)", 53},
          ProxyField{EditProxyPort, "EditProxyPort", "Proxy Port", 82},
          ProxyField{EditProxyUsername, "EditProxyUsername", "Proxy Username", 111},
          ProxyField{EditProxyPassword, "EditProxyPassword", "Proxy Password", 144}}) {
        field.edit = form::Edit(proxy, field.name, kProxyEditLeft, field.top, kProxyEditWidth);
        form::Label(proxy, field.label, 16, field.top + 3, field.edit);
    }
    EditProxyPassword->setEchoMode(QLineEdit::Password);

    // Where the "Map" and "Satellite" choices of the main window fetch from.
    QGroupBox* hosts = form::GroupBox(this, nullptr, "Built-in services", {8, 296, 337, 88});
    for (const ProxyField& field :
         {ProxyField{EditMapHost, "EditMapHost", "Map host", 24},
          ProxyField{EditSatelliteHost, "EditSatelliteHost", "Satellite host", 53}}) {
        field.edit = form::Edit(hosts, field.name, kProxyEditLeft, field.top, kProxyEditWidth);
        form::Label(hosts, field.label, 16, field.top + 3, field.edit);
    }

    QPushButton* Button1 = form::Button(this, "Button1", "OK", {168, 392, 75, 25});
    Button1->setDefault(true);
    QPushButton* Button2 = form::Button(this, "Button2", "Cancel", {256, 392, 75, 25});

    ConnectHandler(desktop_, Button3, &QPushButton::clicked, this, &TfrmOptions::Button3Click);
    ConnectHandler(desktop_, Button1, &QPushButton::clicked, this, &TfrmOptions::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmOptions::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RunHandler(desktop_, this, [this] { FormShow(); });
}

void TfrmOptions::FormShow() {
    const OptionsSettings options = Configuration(configFileName_).ReadOptions();
    Edit12->setText(QString::fromStdString(options.DefaultPath));
    CheckBoxUseProxy->setChecked(options.Proxy.UseProxy);
    EditProxyServer->setText(QString::fromStdString(options.Proxy.ProxyServer));
    EditProxyPort->setText(QString::fromStdString(options.Proxy.ProxyPort));
    EditProxyUsername->setText(QString::fromStdString(options.Proxy.ProxyUsername));
    EditProxyPassword->setText(QString::fromStdString(options.Proxy.ProxyPassword));
    EditMapHost->setText(QString::fromStdString(options.Hosts.MapHost));
    EditSatelliteHost->setText(QString::fromStdString(options.Hosts.SatelliteHost));
}

void TfrmOptions::Button3Click() {
    if (const auto folder = desktop_.ChooseFolder(this, "Select path")) {
        Edit12->setText(*folder);
    }
}

// A value that cannot be written raises "Unable to write to ..."; the guard
// shows it and the window stays open.
void TfrmOptions::Button1Click() {
    OptionsSettings options;
    options.DefaultPath = Edit12->text().toStdString();
    options.Proxy.UseProxy = CheckBoxUseProxy->isChecked();
    options.Proxy.ProxyServer = EditProxyServer->text().toStdString();
    options.Proxy.ProxyPort = EditProxyPort->text().toStdString();
    options.Proxy.ProxyUsername = EditProxyUsername->text().toStdString();
    options.Proxy.ProxyPassword = EditProxyPassword->text().toStdString();
    options.Hosts.MapHost = EditMapHost->text().trimmed().toStdString();
    options.Hosts.SatelliteHost = EditSatelliteHost->text().trimmed().toStdString();
    for (const auto& [key, host] : {std::pair{"MapHost", &options.Hosts.MapHost},
                                    std::pair{"SatelliteHost", &options.Hosts.SatelliteHost}}) {
        if (const auto problem = HostProblem(key, *host)) {
            desktop_.ShowMessage(this, QString::fromStdString(*problem));
            return;
        }
    }
    Configuration(configFileName_).WriteOptions(options);
    accept();
}

}  // namespace tessellon

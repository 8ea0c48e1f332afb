#pragma once
// The "Add from service" window: the address of a map service's description
// (WMTS capabilities or TileJSON), its layers as the service lists them,
// those that cannot be downloaded greyed with the reason, and the chosen
// layer's source keys handed back for the source edit window. The fetch runs
// off the window's thread.

#include <QDialog>
#include <memory>
#include <string>

#include "control/configuration.h"
#include "desktop.h"
#include "task/service_description.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tessellon {

struct ServiceReadReports;
template <typename Reports>
class WindowJob;
using ServiceReadJob = WindowJob<ServiceReadReports>;

class TfrmServiceImport final : public QDialog {
    Q_OBJECT
public:
    TfrmServiceImport(Desktop& desktop, ProxySettings proxy, QWidget* parent);
    // Waits for the step of a fetch under way.
    ~TfrmServiceImport() override;

    // After OK: the chosen layer's keys, "Name" first.
    const SourceKeys& Keys() const { return keys_; }

private:
    void ButtonReadClick();
    void ShowService(const std::string& address, const ServiceReadReports& reports);
    void ButtonOKClick();

    Desktop& desktop_;
    ProxySettings proxy_;
    ServiceDescription service_;
    SourceKeys keys_;

    QLineEdit* EditAddress;
    QPushButton* ButtonRead;
    QListWidget* ListLayers;
    QLabel* LabelService;
    QPushButton* ButtonOK;

    std::unique_ptr<ServiceReadJob> fetch_;
};

}  // namespace tessellon

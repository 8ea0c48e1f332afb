#include "service_import_form.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "control/source_import.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "window_job.h"

namespace tessellon {

namespace {

constexpr int kWidth = 520;
constexpr int kHeight = 330;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

// A read's result, as the window takes it on its own thread.
struct ServiceReadReports {
    bool Done = false;
    ServiceDescription Service;
    std::string Error;
};

TfrmServiceImport::TfrmServiceImport(Desktop& desktop, ProxySettings proxy, QWidget* parent)
    : QDialog(parent), desktop_(desktop), proxy_(std::move(proxy)) {
    form::MakeFixedDialog(this, "frmServiceImport", form::Tahoma(8), "Add from service", kWidth,
                          kHeight);
    EditAddress = form::Edit(this, "EditAddress", 8, 26, kWidth - 99);
    EditAddress->setPlaceholderText("https://.../WMTSCapabilities.xml or .../tiles.json");
    form::Label(this, "WMTS capabilities or TileJSON address:", 8, 8, EditAddress);
    ButtonRead = form::Button(this, "ButtonRead", "Read", {kWidth - 83, 24, 75, 25});
    ButtonRead->setAccessibleName("Read the service's layers");

    ListLayers = new QListWidget(this);
    ListLayers->setObjectName("ListLayers");
    ListLayers->setAccessibleName("Layers");
    ListLayers->setGeometry(8, 76, kWidth - 16, 170);
    form::Label(this, "Layers:", 8, 58, ListLayers);
    LabelService = new QLabel(this);
    LabelService->setObjectName("LabelService");
    LabelService->setGeometry(8, 252, kWidth - 16, 36);
    LabelService->setWordWrap(true);
    LabelService->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelService->setTextInteractionFlags(Qt::TextSelectableByMouse);

    ButtonOK = form::Button(this, "ButtonOK", "Use layer...", {kWidth - 166, kHeight - 33, 75, 25});
    ButtonOK->setEnabled(false);
    QPushButton* ButtonCancel =
        form::Button(this, "ButtonCancel", "Cancel", {kWidth - 83, kHeight - 33, 75, 25});
    ConnectHandler(desktop_, ButtonRead, &QPushButton::clicked, this,
                   &TfrmServiceImport::ButtonReadClick);
    ConnectHandler(desktop_, ButtonOK, &QPushButton::clicked, this,
                   &TfrmServiceImport::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListLayers, &QListWidget::currentRowChanged, this, [this](int row) {
        ButtonOK->setEnabled(row >= 0 && row < static_cast<int>(service_.Layers.size()) &&
                             service_.Layers[std::size_t(row)].Unusable.empty());
    });
    connect(ListLayers, &QListWidget::itemDoubleClicked, this,
            [this] { RunHandler(desktop_, this, [this] { ButtonOKClick(); }); });
}

TfrmServiceImport::~TfrmServiceImport() = default;

void TfrmServiceImport::ButtonReadClick() {
    const std::string address = EditAddress->text().trimmed().toStdString();
    if (address.empty() || fetch_) {
        return;
    }
    ButtonRead->setEnabled(false);
    ButtonOK->setEnabled(false);
    ListLayers->clear();
    service_ = {};
    LabelService->setText("Reading " + Q(address) + " ...");
    fetch_ = std::make_unique<ServiceReadJob>(
        this,
        [this, address](const ServiceReadReports& reports) {
            if (reports.Done) {
                ShowService(address, reports);
            }
        },
        [address, proxy = proxy_](ServiceReadJob& job) {
            ServiceReadReports result;
            try {
                result.Service = FetchServiceDescription(address, proxy);
            } catch (const EServiceDescriptionError& e) {
                result.Error = e.what();
            }
            job.Report([&](ServiceReadReports& reports) {
                reports = std::move(result);
                reports.Done = true;
            });
        });
}

void TfrmServiceImport::ShowService(const std::string& address, const ServiceReadReports& reports) {
    fetch_.reset();
    ButtonRead->setEnabled(true);
    if (!reports.Error.empty()) {
        LabelService->setText(Q(reports.Error));
        return;
    }
    service_ = reports.Service;
    int usable = 0;
    for (const ServiceLayer& layer : service_.Layers) {
        auto* item = new QListWidgetItem(
            Q(layer.Title.empty() ? layer.Id : layer.Title + " (" + layer.Id + ")"), ListLayers);
        item->setToolTip(Q(DescribeServiceLayer(layer)));
        if (!layer.Unusable.empty()) {
            item->setText(item->text() + " - cannot be chosen: " + Q(layer.Unusable));
            item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        } else {
            ++usable;
        }
    }
    LabelService->setText(Q(service_.Kind +
                            (service_.Title.empty() ? "" : " \"" + service_.Title + "\"") + " at " +
                            address + ": " + std::to_string(service_.Layers.size()) +
                            " layer(s), " + std::to_string(usable) + " in the Web Mercator grid."));
    const auto first = std::find_if(service_.Layers.begin(), service_.Layers.end(),
                                    [](const ServiceLayer& l) { return l.Unusable.empty(); });
    if (first != service_.Layers.end()) {
        ListLayers->setCurrentRow(static_cast<int>(first - service_.Layers.begin()));
    }
    ListLayers->setFocus();
}

void TfrmServiceImport::ButtonOKClick() {
    const int row = ListLayers->currentRow();
    if (row < 0 || row >= static_cast<int>(service_.Layers.size()) ||
        !service_.Layers[std::size_t(row)].Unusable.empty()) {
        return;
    }
    const ServiceLayer& layer = service_.Layers[std::size_t(row)];
    keys_ = layer.Keys;
    keys_.insert(keys_.begin(), {"Name", ImportedSourceName(layer)});
    accept();
}

}  // namespace tessellon

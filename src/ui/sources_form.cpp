#include "sources_form.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <optional>

#include "control/configuration.h"
#include "control/source_editing.h"
#include "form_layout.h"
#include "handler_guard.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "service_import_form.h"
#include "source_edit_form.h"
#include "task/sources_file.h"
#include "window_job.h"

namespace tessellon {

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 384;
constexpr int kTileSide = 256;
constexpr int kTileLeft = kWidth - kTileSide - 8;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

TfrmSources::TfrmSources(Desktop& desktop, std::string sourcesFileName, std::string configFileName,
                         QWidget* parent, std::string catalogueFileName)
    : QDialog(parent),
      desktop_(desktop),
      sourcesFileName_(std::move(sourcesFileName)),
      configFileName_(std::move(configFileName)),
      catalogueFileName_(std::move(catalogueFileName)) {
    form::MakeFixedDialog(this, "frmSources", form::Tahoma(8), "Tile sources", kWidth, kHeight);

    ListSources = new QListWidget(this);
    ListSources->setObjectName("ListSources");
    // A list's spoken name is its own; a label's buddy does not give one.
    ListSources->setAccessibleName("Tile sources");
    ListSources->setGeometry(8, 26, 220, 200);
    form::Label(this, "Sources:", 8, 8, ListSources);

    struct Action {
        const char* name;
        const char* caption;
        const char* spoken;
        void (TfrmSources::*handler)();
    };
    const Action actions[] = {
        {"ButtonAdd", "Add...", "Add a source", &TfrmSources::ButtonAddClick},
        {"ButtonEdit", "Edit...", "Edit the chosen source", &TfrmSources::ButtonEditClick},
        {"ButtonRemove", "Remove", "Remove the chosen source", &TfrmSources::ButtonRemoveClick},
        {"ButtonTest", "Test", "Fetch one tile of the chosen source",
         &TfrmSources::ButtonTestClick},
        {"ButtonImport", "From service...", "Add a source from a map service's description",
         &TfrmSources::ButtonImportClick},
    };
    int top = 26;
    for (const Action& action : actions) {
        QPushButton* button = form::Button(this, action.name, action.caption, {236, top, 90, 25});
        button->setAccessibleName(action.spoken);
        ConnectHandler(desktop_, button, &QPushButton::clicked, this, action.handler);
        top += 31;
    }
    ButtonTest = findChild<QPushButton*>("ButtonTest");

    MemoRefused = new QPlainTextEdit(this);
    MemoRefused->setObjectName("MemoRefused");
    MemoRefused->setReadOnly(true);
    MemoRefused->setGeometry(8, 254, kTileLeft - 16, 84);
    form::Label(this, "Refused by the sources file:", 8, 236, MemoRefused);

    ImageTile = new QLabel(this);
    ImageTile->setObjectName("ImageTile");
    ImageTile->setAccessibleName("Test tile");
    ImageTile->setGeometry(kTileLeft, 26, kTileSide, kTileSide);
    ImageTile->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ImageTile->setAlignment(Qt::AlignCenter);
    form::Label(this, "Test tile:", kTileLeft, 8);
    LabelTest = new QLabel(this);
    LabelTest->setObjectName("LabelTest");
    LabelTest->setGeometry(kTileLeft, 26 + kTileSide + 4, kTileSide, 60);
    LabelTest->setWordWrap(true);
    LabelTest->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LabelTest->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QPushButton* ButtonClose =
        form::Button(this, "ButtonClose", "Close", {kWidth - 83, kHeight - 33, 75, 25});
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(ListSources, &QListWidget::itemDoubleClicked, this,
            [this] { RunHandler(desktop_, this, [this] { ButtonEditClick(); }); });

    // The Test pane tells of the source chosen, never of the one before.
    connect(ListSources, &QListWidget::currentRowChanged, this, [this] {
        ImageTile->clear();
        LabelTest->clear();
    });

    frmSourceEdit_ = new TfrmSourceEdit(desktop_, this);
}

// A test's result, as the window takes it on its own thread.
struct SourceTestReports {
    std::optional<SourceCheck> Check;
};

TfrmSources::~TfrmSources() = default;

void TfrmSources::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    RunHandler(desktop_, this, [this] { FormShow(); });
}

void TfrmSources::FormShow() {
    ImageTile->clear();
    LabelTest->clear();
    ReadList();
    ListSources->setFocus();
}

void TfrmSources::ReadList() {
    const QString chosen = ListSources->currentItem() ? ListSources->currentItem()->text() : "";
    SourcesWindowList file =
        ListForSourcesWindow(sourcesFileName_, configFileName_, catalogueFileName_);
    sources_ = std::move(file.Entries);
    ListSources->clear();
    for (const ListedSource& entry : sources_) {
        auto* item = new QListWidgetItem(Q(entry.Label), ListSources);
        QString tip = Q(DescribeSource(entry.Source));
        if (entry.FromCatalogue) {
            // Read-only: set apart from the user's own.
            QFont font = item->font();
            font.setItalic(true);
            item->setFont(font);
            tip =
                "From the catalogue shipped with the program (read-only; Edit saves a copy "
                "among your sources).\n" +
                tip;
        }
        item->setToolTip(tip);
    }
    const auto same = ListSources->findItems(chosen, Qt::MatchExactly);
    ListSources->setCurrentRow(same.isEmpty() ? 0 : ListSources->row(same.front()));
    QStringList refused;
    for (const std::string& error : file.Errors) {
        refused << Q(error);
    }
    MemoRefused->setPlainText(refused.join('\n'));
}

const ListedSource* TfrmSources::ChosenEntry() const {
    const int row = ListSources->currentRow();
    return row >= 0 && row < static_cast<int>(sources_.size()) ? &sources_[std::size_t(row)]
                                                               : nullptr;
}

const TileSource* TfrmSources::Chosen() const {
    const ListedSource* entry = ChosenEntry();
    return entry != nullptr ? &entry->Source : nullptr;
}

bool TfrmSources::EditSource(const QString& caption, const std::string& oldName,
                             const SourceKeys& keys) {
    const std::string version = Configuration(configFileName_).Read(settings::Version);
    const bool saved = frmSourceEdit_->Edit(caption, keys, [&](const SourceKeys& edited) {
        return SaveSource(sourcesFileName_, oldName, edited, version);
    });
    if (saved) {
        ReadList();
        const std::string name = frmSourceEdit_->Keys().front().second;
        const auto items = ListSources->findItems(Q(name), Qt::MatchFixedString);
        if (!items.isEmpty()) {
            ListSources->setCurrentItem(items.front());
        }
    }
    return saved;
}

void TfrmSources::ButtonAddClick() {
    EditSource("Add a tile source", "", {});
}

// The service's layer comes into the edit window filled in, so the user sees
// and may change what the service said before it is saved.
void TfrmSources::ButtonImportClick() {
    TfrmServiceImport import(desktop_, Configuration(configFileName_).ReadProxy(), this);
    if (import.exec() == QDialog::Accepted) {
        EditSource("Add a tile source from a service", "", import.Keys());
    }
}

void TfrmSources::ButtonEditClick() {
    const ListedSource* entry = ChosenEntry();
    if (entry == nullptr) {
        return;
    }
    const TileSource* source = &entry->Source;
    if (entry->FromCatalogue) {
        // The catalogue stays as shipped; the copy, of the same name, wins.
        EditSource("Copy tile source " + Q(source->Name()) + " to your sources", "",
                   source->Keys());
        return;
    }
    const std::string name = source->Name();
    const std::string text = FileExists(sourcesFileName_) ? ReadInputFile(sourcesFileName_) : "";
    std::optional<SourceKeys> keys;
    try {
        keys = SectionKeys(text, name);
    } catch (const EIniLimitError&) {
        // The file was refused, so the source is the catalogue's.
    }
    EditSource("Edit tile source " + Q(name), name,
               keys.value_or(SourceKeys{{std::string(SourceKey("Name").Name), name}}));
}

void TfrmSources::ButtonRemoveClick() {
    const ListedSource* entry = ChosenEntry();
    if (entry != nullptr && entry->FromCatalogue) {
        desktop_.ShowMessage(this, "'" + Q(entry->Source.Name()) +
                                       "' comes from the catalogue shipped with the program, "
                                       "which is read-only.");
        return;
    }
    const TileSource* source = Chosen();
    if (source == nullptr ||
        !desktop_.Confirm(this, "Remove the tile source '" + Q(source->Name()) + "'?")) {
        return;
    }
    RemoveSource(sourcesFileName_, source->Name());
    ReadList();
}

// The fetch may take as long as the time limits allow; the window stays
// responsive and the result comes back through the job's mailbox.
void TfrmSources::ButtonTestClick() {
    const TileSource* chosen = Chosen();
    if (chosen == nullptr || test_) {
        return;
    }
    const Configuration configuration(configFileName_);
    const ProxySettings proxy = configuration.ReadProxy();
    const std::size_t maxTileBytes = configuration.ReadMaxTileBytes();
    ButtonTest->setEnabled(false);
    ImageTile->clear();
    LabelTest->setText("Fetching " + Q(chosen->TileUrl(0, 0, chosen->MinZoom())) + " ...");
    test_ = std::make_unique<SourceTestJob>(
        this,
        [this, source = *chosen](const SourceTestReports& reports) {
            ShowCheck(*reports.Check, source);
        },
        [source = *chosen, proxy, maxTileBytes](SourceTestJob& job) {
            SourceCheck check = CheckSource(source, proxy, {}, maxTileBytes, {}, &job.Stop());
            job.Report([&](SourceTestReports& reports) { reports.Check = std::move(check); });
        });
}

void TfrmSources::ShowCheck(const SourceCheck& check, const TileSource& source) {
    test_.reset();
    ButtonTest->setEnabled(true);
    // Another source was chosen while this one was being fetched.
    const TileSource* chosen = Chosen();
    if (chosen == nullptr || chosen->Name() != source.Name()) {
        return;
    }
    QString text = Q(DescribeCheck(check, source)).trimmed();
    text[0] = text[0].toUpper();
    LabelTest->setText(text);
    QImage image;
    if (check.Error.empty() && image.loadFromData(reinterpret_cast<const uchar*>(check.Body.data()),
                                                  static_cast<int>(check.Body.size()))) {
        ImageTile->setPixmap(
            QPixmap::fromImage(image.scaled(kTileSide - 4, kTileSide - 4, Qt::KeepAspectRatio)));
    }
}

}  // namespace tessellon

#pragma once
// The "Select on map" window: the chosen service's tiles as a slippy map with
// the task's area drawn on it as a rectangle the user draws, moves and
// resizes (a tile view with an outline editor over it). The rectangle and the main window's four
// coordinate fields follow each other both ways, the zoom box's tiles are drawn over the rectangle,
// and the figures of a task of that area are shown under the map.

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/map_tiles.h"
#include "control/task_fields.h"
#include "download/pacing.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tessellon {

struct GeoRect;
class MapTileProvider;
class TileView;

// The main window's controls the map follows and writes.
struct AreaControls {
    QLineEdit* Left = nullptr;
    QLineEdit* Top = nullptr;
    QLineEdit* Right = nullptr;
    QLineEdit* Bottom = nullptr;
    QSpinBox* Zoom = nullptr;
    // Which service the map shows.
    QButtonGroup* MapsType = nullptr;
    QComboBox* Source = nullptr;
    // The fields as a start would read them.
    std::function<TaskFields()> Fields;
};

class SelectAreaForm final : public QWidget {
    Q_OBJECT

public:
    // Tiles are fetched with the configuration's hosts and proxy, at `pace`,
    // and kept under the user's cache folder.
    SelectAreaForm(AreaControls controls, std::string configFile, const Pacing& pace,
                   QWidget* parent = nullptr);
    ~SelectAreaForm() override;

    // Shows the window on the fields' area, or raises it where it is.
    void Open();

private:
    // Shows the service the fields choose; a new one gets a new fetcher.
    void FollowService();
    void FollowFields();
    void ShowFigures();
    void WriteFields(const GeoRect& area);
    void GoTo();
    // The largest zoom that shows the fields' area whole, centred on it.
    void FitArea();

    const AreaControls controls_;
    const std::string configFile_;
    const Pacing pace_;
    // The service the provider fetches from; set from construction on.
    std::optional<MapService> service_;
    // Set while the map writes the fields, so their change is not taken back.
    bool writing_ = false;
    TileView* view_;
    std::unique_ptr<MapTileProvider> provider_;
    QLineEdit* goTo_;
    QLabel* goToMessage_;
    QPushButton* draw_;
    QLabel* figures_;
    QLabel* attribution_;
};

}  // namespace tessellon

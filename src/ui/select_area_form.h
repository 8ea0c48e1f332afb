#pragma once
// The "Select on map" window: the chosen service's tiles as a slippy map with
// the task's area drawn on it, either a rectangle the user draws, moves and
// resizes (a tile view with an outline editor over it) or a shape imported
// from a file or drawn corner by corner (a shape layer over the view). The
// rectangle and the main window's four coordinate fields follow each other
// both ways, a shape becomes the main window's area file, the tiles of the
// zoom box are drawn over the area, and the figures of a task of that area
// over the whole zoom range are shown under the map.

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/area_choice.h"
#include "control/map_tiles.h"
#include "control/task_fields.h"
#include "download/pacing.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tessellon {

struct GeoRect;
class MapTileProvider;
class ShapeLayer;
class TileView;

// The main window's controls the map follows and writes.
struct AreaControls {
    QLineEdit* Left = nullptr;
    QLineEdit* Top = nullptr;
    QLineEdit* Right = nullptr;
    QLineEdit* Bottom = nullptr;
    QSpinBox* Zoom = nullptr;
    QSpinBox* ZoomTo = nullptr;
    // The choice between the four fields and a shape, and the shape's file
    // and buffer.
    QAbstractButton* Rectangle = nullptr;
    QAbstractButton* Shape = nullptr;
    QLineEdit* AreaFile = nullptr;
    QLineEdit* Buffer = nullptr;
    // Asks the user for an area file; nothing when cancelled.
    std::function<std::optional<std::string>()> ChooseAreaFile;
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
    // The figures, or `problem` when the fields make no task.
    void ShowFigures(const std::string& problem = {});
    void WriteFields(const GeoRect& area);
    // Keeps a drawn polygon as the task's area file.
    void TakePolygon(const std::vector<GeoPoint>& corners);
    void ImportArea();
    // Makes `path` the main window's area file.
    void UseAreaFile(const std::string& path);
    void GoTo();
    // The largest zoom that shows the fields' area whole, centred on it.
    void FitArea();
    // The fields' area and the tiles of the zoom box; nothing, with the
    // reason in `problem` where there is one, while there is no area.
    std::optional<ShownArea> Shown(std::string& problem) const;

    const AreaControls controls_;
    const std::string configFile_;
    const Pacing pace_;
    // The service the provider fetches from; set from construction on.
    std::optional<MapService> service_;
    // Set while the map writes the fields, so their change is not taken back.
    bool writing_ = false;
    TileView* view_;
    ShapeLayer* layer_;
    std::unique_ptr<MapTileProvider> provider_;
    QLineEdit* goTo_;
    // Why a place typed or a polygon drawn is refused.
    QLabel* message_;
    QPushButton* draw_;
    QPushButton* drawPolygon_;
    QPushButton* import_;
    QLabel* figures_;
    QLabel* attribution_;
};

}  // namespace tessellon

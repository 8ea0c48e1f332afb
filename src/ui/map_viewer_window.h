#pragma once
// The Map Viewer: one window that shows a task, a folder of tiles or a tile
// container (MBTiles, GeoPackage, PMTiles, OsmAnd SQLiteDB) as a map, with the grid on request, the
// typed area outlined, a legend of the colours that mark tiles without an image, and the point
// under the pointer and the scale in the status bar.

#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>

#include "output/tile_set.h"

class QActionGroup;
class QLabel;
class QMenu;

namespace tessellon {

class Desktop;
class TileSetProvider;
class TileView;

class MapViewerWindow : public QMainWindow {
    Q_OBJECT

public:
    // `blankFolder` holds the blank images a download writes (blankimg/).
    MapViewerWindow(Desktop& desktop, std::string blankFolder, QWidget* parent = nullptr);
    ~MapViewerWindow() override;

    // Shows the set at `path`. When it cannot be opened, says why and keeps
    // what was shown; false then.
    bool Open(const QString& path);
    TileView* View() const { return view_; }

private:
    void BuildMenus();
    void OpenFileClick();
    void OpenFolderClick();
    void ShowZoom(int zoom);
    void ShowPointer(double longitude, double latitude);
    void ShowScale();

    Desktop& desktop_;
    std::string blankFolder_;
    QString lastFolder_;
    TileView* view_;
    QMenu* zoomMenu_ = nullptr;
    QActionGroup* zoomGroup_ = nullptr;
    QLabel* pointer_;
    QLabel* scale_;
    // The provider reads the set: it goes first.
    std::unique_ptr<TileSet> tiles_;
    std::unique_ptr<TileSetProvider> provider_;
};

// The mapviewer program: opens the path in argv[1], if any.
int RunMapViewer(int argc, char** argv);

}  // namespace tessellon

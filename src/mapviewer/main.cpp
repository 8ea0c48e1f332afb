// mapviewer: shows a task, a folder of tiles or an MBTiles file as a map.
// Usage: mapviewer [PROJECT.tsln | FOLDER | FILE.mbtiles]

#include "map_viewer_window.h"

int main(int argc, char** argv) {
    return tessellon::RunMapViewer(argc, argv);
}

#pragma once
// The window that adds or edits one tile source: a field for each key of a
// source. OK hands the keys to the caller's save, which refuses them with a
// message shown here (the window stays open) or takes them.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "desktop.h"
#include "task/tile_source.h"

class QLabel;

namespace tessellon {

class TfrmSourceEdit final : public QDialog {
    Q_OBJECT
public:
    // The reason the keys are refused, or none once they are saved.
    using SaveFunction = std::function<std::optional<std::string>(const SourceKeys&)>;

    TfrmSourceEdit(Desktop& desktop, QWidget* parent);

    // Shows the window with these keys (missing ones empty) until the user
    // cancels or `save` takes the keys; true when it took them.
    bool Edit(const QString& caption, const SourceKeys& keys, SaveFunction save);

    // The keys as the fields hold them, in the order of kSourceKeyRules.
    SourceKeys Keys() const;

private:
    void ButtonOKClick();

    Desktop& desktop_;
    SaveFunction save_;
    // One per row of kSourceKeyRules: a line, or a check box for a switch.
    std::vector<QWidget*> fields_;
    QLabel* LabelError;
};

}  // namespace tessellon

#pragma once

#include <array>
#include <string>
#include <vector>

#include "shell/chrome_window.h"
#include "shell/image_list.h"

namespace brindle::app {

class ImageControl;

// The main window: three job pictures ("imgAction_0" to "_2") with captions.
class frmMain : public ChromeWindow {
    Q_OBJECT
public:
    // A page of the window whose `values` it takes on; without them, of a new window.
    explicit frmMain(JobValuesPtr values = nullptr);

    // The load step: with a file or "-r" in arguments it opens the matching job window and
    // closes itself unseen; otherwise it shows itself. Arguments and folder are bytes.
    void Load(const std::vector<std::string>& arguments, const std::string& currentFolder);

    // Every job picture back to plain.
    void ResetActionImages();

    const ImageList& ImageList1() const { return actionImages_; }

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    // A file opens the split wizard with it, a piece the join wizard on its group.
    bool TakesDrop(const QMimeData& drag) const override;
    void TakeDrop(const QMimeData& drag) override;

private:
    void ActionPointerMoved(int index);

    ImageList actionImages_;
    std::array<ImageControl*, 3> actions_{};
};

}  // namespace brindle::app

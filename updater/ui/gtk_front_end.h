#ifndef ZARN_UPDATER_UI_GTK_FRONT_END_H_
#define ZARN_UPDATER_UI_GTK_FRONT_END_H_

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "updater/ui/front_end.h"

struct _GtkWidget;

namespace zarn {
namespace ui {

// The dialog as a GTK 3 window laid out from the template (dialog units scaled as an 8-point
// dialog font at 96 dpi), with GTK error dialogs as message boxes. Every call, and the
// construction, happen on one thread, which owns the GTK main loop; Wait iterates it.
class GtkFrontEnd : public FrontEnd {
 public:
  // nullptr when GTK cannot open the display (or was built without).
  static std::unique_ptr<GtkFrontEnd> Open();
  ~GtkFrontEnd() override;

  // The top-level window widget of `window` (nullptr when gone), for inspection.
  _GtkWidget* WindowWidget(WindowId window) const;
  _GtkWidget* ItemWidget(WindowId window, int item) const;

  void SetCommandSink(CommandSink sink) override { sink_ = std::move(sink); }
  void CreateWindow(WindowId window, const DialogTemplate& dialog) override;
  void DestroyWindow(WindowId window) override;
  void SetTitle(WindowId window, const std::string& text) override;
  void SetItemText(WindowId window, int item, const std::string& text) override;
  void SetProgress(WindowId window, int item, int position) override;
  void SetMarquee(WindowId window, int item, bool on) override;
  void ShowItem(WindowId window, int item, bool visible) override;
  void SetIcon(WindowId window, const char* const* xpm) override;
  Rect GetWindowRect(WindowId window) override;
  Rect GetDesktopRect() override;
  void MoveWindow(WindowId window, const Rect& rect) override;
  void ShowMessageBox(WindowId owner, const std::string& text, const std::string& caption) override;
  void Wait(std::chrono::milliseconds timeout) override;
  void Wake() override;

 private:
  struct Window;
  GtkFrontEnd() = default;
  Window* Find(WindowId window) const;
  void Close(WindowId window);

  CommandSink sink_;
  std::map<WindowId, std::unique_ptr<Window>> windows_;
};

}  // namespace ui
}  // namespace zarn

#endif  // ZARN_UPDATER_UI_GTK_FRONT_END_H_

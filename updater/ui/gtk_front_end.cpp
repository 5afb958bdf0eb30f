#include "updater/ui/gtk_front_end.h"

#ifdef ZARN_HAVE_GTK
#include <gtk/gtk.h>
#endif

#include "updater/module_resources.h"

namespace zarn {
namespace ui {

#ifndef ZARN_HAVE_GTK

struct GtkFrontEnd::Window {};
std::unique_ptr<GtkFrontEnd> GtkFrontEnd::Open() { return nullptr; }
GtkFrontEnd::~GtkFrontEnd() = default;
_GtkWidget* GtkFrontEnd::WindowWidget(WindowId) const { return nullptr; }
_GtkWidget* GtkFrontEnd::ItemWidget(WindowId, int) const { return nullptr; }
GtkFrontEnd::Window* GtkFrontEnd::Find(WindowId) const { return nullptr; }
void GtkFrontEnd::Close(WindowId) {}
void GtkFrontEnd::CreateWindow(WindowId, const DialogTemplate&) {}
void GtkFrontEnd::DestroyWindow(WindowId) {}
void GtkFrontEnd::SetTitle(WindowId, const std::string&) {}
void GtkFrontEnd::SetItemText(WindowId, int, const std::string&) {}
void GtkFrontEnd::SetProgress(WindowId, int, int) {}
void GtkFrontEnd::SetMarquee(WindowId, int, bool) {}
void GtkFrontEnd::ShowItem(WindowId, int, bool) {}
void GtkFrontEnd::SetIcon(WindowId, const char* const*) {}
Rect GtkFrontEnd::GetWindowRect(WindowId) { return {}; }
Rect GtkFrontEnd::GetDesktopRect() { return {}; }
void GtkFrontEnd::MoveWindow(WindowId, const Rect&) {}
void GtkFrontEnd::ShowMessageBox(WindowId, const std::string&, const std::string&) {}
void GtkFrontEnd::Wait(std::chrono::milliseconds) {}
void GtkFrontEnd::Wake() {}

#else

namespace {

// Dialog units of an 8-point dialog font at 96 dpi: 6 x 13 pixels per 4 x 8 units.
int HorizontalPixels(int units) { return units * 3 / 2; }
int VerticalPixels(int units) { return units * 13 / 8; }

// Draws what changed now, so that the window shows a change before the call that made it
// returns (the downloader starts right after "Launching" is set). Bounded: a source that
// keeps events coming (the marquee's pulse) cannot hold the caller here.
void Flush() {
  for (int i = 0; i < 100 && gtk_events_pending(); ++i) gtk_main_iteration_do(FALSE);
}

gboolean Pulse(gpointer bar) {
  gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
  return G_SOURCE_CONTINUE;
}

}  // namespace

struct GtkFrontEnd::Window {
  GtkFrontEnd* owner = nullptr;
  WindowId id = 0;
  GtkWidget* window = nullptr;
  std::map<int, GtkWidget*> items;
  guint pulse = 0;
};

std::unique_ptr<GtkFrontEnd> GtkFrontEnd::Open() {
  static const bool opened = gtk_init_check(nullptr, nullptr);
  if (!opened) return nullptr;
  return std::unique_ptr<GtkFrontEnd>(new GtkFrontEnd());
}

GtkFrontEnd::~GtkFrontEnd() {
  while (!windows_.empty()) DestroyWindow(windows_.begin()->first);
}

GtkFrontEnd::Window* GtkFrontEnd::Find(WindowId window) const {
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

_GtkWidget* GtkFrontEnd::WindowWidget(WindowId window) const {
  Window* w = Find(window);
  return w == nullptr ? nullptr : w->window;
}

_GtkWidget* GtkFrontEnd::ItemWidget(WindowId window, int item) const {
  Window* w = Find(window);
  if (w == nullptr) return nullptr;
  auto it = w->items.find(item);
  return it == w->items.end() ? nullptr : it->second;
}

void GtkFrontEnd::Close(WindowId window) {
  if (sink_) sink_(window, kCancelCommand);
}

void GtkFrontEnd::CreateWindow(WindowId id, const DialogTemplate& dialog) {
  auto w = std::make_unique<Window>();
  w->owner = this;
  w->id = id;
  w->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(w->window);
  gtk_window_set_title(window, dialog.caption.c_str());
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, HorizontalPixels(dialog.width), VerticalPixels(dialog.height));
  gtk_container_add(GTK_CONTAINER(window), fixed);
  for (const DialogControl& control : dialog.controls) {
    GtkWidget* widget;
    if (control.kind == DialogControl::Kind::kText) {
      widget = gtk_label_new(control.text.c_str());
      gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
      gtk_label_set_ellipsize(GTK_LABEL(widget), PANGO_ELLIPSIZE_END);
    } else {
      widget = gtk_progress_bar_new();
    }
    gtk_widget_set_size_request(widget, HorizontalPixels(control.width),
                                VerticalPixels(control.height));
    gtk_fixed_put(GTK_FIXED(fixed), widget, HorizontalPixels(control.x), VerticalPixels(control.y));
    w->items[control.id] = widget;
  }
  // The close button and Esc ask the dialog to close; the window goes only when it ends.
  g_signal_connect(w->window, "delete-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) -> gboolean {
                     Window* self = static_cast<Window*>(data);
                     self->owner->Close(self->id);
                     return TRUE;
                   }),
                   w.get());
  g_signal_connect(w->window, "key-press-event",
                   G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer data) -> gboolean {
                     if (event->keyval != GDK_KEY_Escape) return FALSE;
                     Window* self = static_cast<Window*>(data);
                     self->owner->Close(self->id);
                     return TRUE;
                   }),
                   w.get());
  gtk_widget_show_all(w->window);
  for (const DialogControl& control : dialog.controls) {
    if (!control.visible) gtk_widget_hide(w->items[control.id]);
  }
  windows_[id] = std::move(w);
}

void GtkFrontEnd::DestroyWindow(WindowId id) {
  auto it = windows_.find(id);
  if (it == windows_.end()) return;
  if (it->second->pulse != 0) g_source_remove(it->second->pulse);
  gtk_widget_destroy(it->second->window);
  windows_.erase(it);
  Flush();
}

void GtkFrontEnd::SetTitle(WindowId id, const std::string& text) {
  if (Window* w = Find(id)) gtk_window_set_title(GTK_WINDOW(w->window), text.c_str());
  Flush();
}

void GtkFrontEnd::SetItemText(WindowId id, int item, const std::string& text) {
  GtkWidget* widget = ItemWidget(id, item);
  if (widget != nullptr && GTK_IS_LABEL(widget)) {
    gtk_label_set_text(GTK_LABEL(widget), text.c_str());
  }
  Flush();
}

void GtkFrontEnd::SetProgress(WindowId id, int item, int position) {
  GtkWidget* widget = ItemWidget(id, item);
  if (widget == nullptr || !GTK_IS_PROGRESS_BAR(widget)) return;
  position = position < 0 ? 0 : position > 100 ? 100 : position;
  gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(widget), position / 100.0);
  Flush();
}

void GtkFrontEnd::SetMarquee(WindowId id, int item, bool on) {
  Window* w = Find(id);
  GtkWidget* widget = ItemWidget(id, item);
  if (w == nullptr || widget == nullptr || !GTK_IS_PROGRESS_BAR(widget)) return;
  if (w->pulse != 0) g_source_remove(w->pulse);
  w->pulse = on ? g_timeout_add(100, Pulse, widget) : 0;
  if (on) gtk_progress_bar_pulse(GTK_PROGRESS_BAR(widget));
  Flush();
}

void GtkFrontEnd::ShowItem(WindowId id, int item, bool visible) {
  if (GtkWidget* widget = ItemWidget(id, item)) {
    visible ? gtk_widget_show(widget) : gtk_widget_hide(widget);
  }
  Flush();
}

void GtkFrontEnd::SetIcon(WindowId id, const char* const* xpm) {
  Window* w = Find(id);
  if (w == nullptr || xpm == nullptr) return;
  GdkPixbuf* icon = gdk_pixbuf_new_from_xpm_data(const_cast<const char**>(xpm));
  if (icon == nullptr) return;
  gtk_window_set_icon(GTK_WINDOW(w->window), icon);
  g_object_unref(icon);
}

Rect GtkFrontEnd::GetWindowRect(WindowId id) {
  Window* w = Find(id);
  if (w == nullptr) return {};
  int x = 0, y = 0, width = 0, height = 0;
  gtk_window_get_position(GTK_WINDOW(w->window), &x, &y);
  gtk_window_get_size(GTK_WINDOW(w->window), &width, &height);
  return Rect{x, y, x + width, y + height};
}

Rect GtkFrontEnd::GetDesktopRect() {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return {};
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return {};
  GdkRectangle area;
  gdk_monitor_get_workarea(monitor, &area);
  return Rect{area.x, area.y, area.x + area.width, area.y + area.height};
}

void GtkFrontEnd::MoveWindow(WindowId id, const Rect& rect) {
  if (Window* w = Find(id)) gtk_window_move(GTK_WINDOW(w->window), rect.left, rect.top);
}

void GtkFrontEnd::ShowMessageBox(WindowId owner, const std::string& text,
                                 const std::string& caption) {
  Window* w = Find(owner);
  GtkWidget* box =
      gtk_message_dialog_new(w == nullptr ? nullptr : GTK_WINDOW(w->window), GTK_DIALOG_MODAL,
                             GTK_MESSAGE_ERROR, GTK_BUTTONS_OK, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  Flush();
}

void GtkFrontEnd::Wait(std::chrono::milliseconds timeout) {
  struct Timer {
    bool fired = false;
  } timer;
  guint source = g_timeout_add(
      static_cast<guint>(timeout.count()),
      +[](gpointer data) -> gboolean {
        static_cast<Timer*>(data)->fired = true;
        return G_SOURCE_REMOVE;
      },
      &timer);
  g_main_context_iteration(nullptr, TRUE);
  if (!timer.fired) g_source_remove(source);
}

void GtkFrontEnd::Wake() { g_main_context_wakeup(nullptr); }

#endif  // ZARN_HAVE_GTK

}  // namespace ui
}  // namespace zarn

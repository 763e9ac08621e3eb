// The frame shared by the small tool windows: a fixed-size tool window owned by
// the main window, placed against the main window's edges.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>

namespace quadrel {

class ToolWindow : public QWidget {
  Q_OBJECT
 public:
  // A window with a narrow title bar, no minimise or maximise box and no task
  // bar entry, whose client area is `client_width` by `client_height` twips.
  ToolWindow(QWidget* owner, const QString& caption, int client_width, int client_height);

  // Runs when the loaded window closes, by its own close box or by `close()`.
  // A closed window is only hidden; the next load shows the same object again,
  // so a handler of the window still running in a wait never loses it.
  std::function<void()> on_unload;
  void set_loaded(bool loaded) { loaded_ = loaded; }
  bool loaded() const { return loaded_; }

  // Outer size (title bar and border included), in pixels. Before the window
  // manager has framed the window, the owner's border is taken as the estimate.
  int outer_width() const;
  int outer_height() const;

  // Moves the window so that its outer top-left corner is at (left, top) in
  // screen pixels, kept on the owner's screen so its title bar stays reachable.
  void move_outer(int left, int top);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QSize decoration() const;
  QWidget* owner_;
  bool loaded_ = false;
};

// A piece's tool window: made on first use, only hidden while closed, and
// deleted with its piece, which from then on hears nothing of its closing.
template <class Window>
class ToolWindowSlot {
 public:
  ToolWindowSlot() = default;
  ToolWindowSlot(const ToolWindowSlot&) = delete;
  ToolWindowSlot& operator=(const ToolWindowSlot&) = delete;
  ~ToolWindowSlot() {
    if (!window_) return;
    window_->on_unload = nullptr;
    delete window_.data();
  }

  // The window, made by `make` now if there is none yet.
  template <class Make>
  Window& ensure(Make make, std::function<void()> on_unload) {
    if (!window_) {
      window_ = make();
      window_->on_unload = std::move(on_unload);
    }
    return *window_;
  }

  Window* get() const { return window_.data(); }
  Window* operator->() const { return window_.data(); }
  explicit operator bool() const { return !window_.isNull(); }

 private:
  QPointer<Window> window_;
};

}  // namespace quadrel

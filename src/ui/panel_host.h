// What the main window offers its views and tool windows besides the device.
#pragma once

class QString;
class QWidget;

namespace quadrel {

enum class ToolKind { Keypad, Hdcp, Labels, Pip };

class PanelHost {
 public:
  virtual ~PanelHost() = default;

  // The main window: the owner of the tool windows, which are placed against it.
  virtual QWidget& window() = 0;
  // A notice on the status line. It stays until another replaces it or, by
  // default, until a later command is answered; `through_next_answer` keeps
  // it past the answer of the command that follows at once (the one it is about).
  virtual void notice(const QString& text, bool through_next_answer = false) = 0;
  // Sets the main window's outer height (twips), keeping its width.
  virtual void set_outer_height(int twip_height) = 0;
  // Opens or closes a tool window.
  virtual void open_tool(ToolKind tool) = 0;
  virtual void close_tool(ToolKind tool) = 0;
};

}  // namespace quadrel

// The HDCP window, its button, and the HPI/HPO operations of the main window.
#pragma once


#include <QObject>

#include "shell/piece.h"
#include "windows/tool_window.h"

namespace quadrel {

class FrmHdcp;

class HdcpControl : public Piece {
 public:
  explicit HdcpControl(FrmMain& main);
  ~HdcpControl() override;

  // Opens the HDCP window, or closes it when it is open.
  void cmd_hdcp_Click();
  // Reads the four inputs and the four outputs, stopping at the first query
  // that gets no answer.
  void hdcp_refresh();
  void hdcp_in_out_set(const std::string& hdcp_str);
  void rx_hpi();
  void rx_hpo();

  FrmHdcp* window() const;

 private:
  void Form_Load();
  void Form_Unload();
  // Selects the reported option of an input or output in the open window.
  void select(bool input, std::optional<reading::Indexed> setting);

  ToolWindowSlot<FrmHdcp> window_;
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel

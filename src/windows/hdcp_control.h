// The HDCP window, its button, and the HPI/HPO operations of the main window.
#pragma once


#include <QObject>

#include "ui/piece.h"
#include "ui/tool_window.h"

namespace quadrel {

class FrmHdcp;

class HdcpControl : public Piece {
 public:
  explicit HdcpControl(const PanelContext& context);
  ~HdcpControl() override;

  // Opens the HDCP window, or closes it when it is open.
  void cmd_hdcp_Click();
  void Form_Load();
  void unload();
  // Selects the reported option of input (or output) n in the open window.
  void rx_hpi(int n) { select(true, n); }
  void rx_hpo(int n) { select(false, n); }

  FrmHdcp* window() const;

 private:
  void Form_Unload();
  void select(bool input, int n);

  ToolWindowSlot<FrmHdcp> window_;
};

}  // namespace quadrel

#include "windows/network_panel.h"

#include <QLineEdit>
#include <QPushButton>

#include "shell/widgets.h"

namespace quadrel {

NetworkPanel::NetworkPanel(FrmMain& main) : Piece(main) {
  if (c_.cmd_advance)
    QObject::connect(c_.cmd_advance, &QPushButton::clicked, &ctx_, [this] { cmd_advance_Click(); });
  if (c_.cmd_get_ip)
    QObject::connect(c_.cmd_get_ip, &QPushButton::clicked, &ctx_, [this] { cmd_get_ip_Click(); });
}

void NetworkPanel::cmd_advance_Click() {
  if (ps_.advanced_open) {
    main_.set_outer_height(FrmMain::kSmallHeight);
    ps_.advanced_open = false;
  } else {
    main_.set_outer_height(FrmMain::kAdvancedHeight);
    ps_.advanced_open = true;
  }
}

void NetworkPanel::cmd_get_ip_Click() {
  struct Query {
    std::string_view code;
    QLineEdit* box;
  };
  const Query queries[] = {
      {code::EIP, c_.txt_get_ip}, {code::EMK, c_.txt_get_mask}, {code::EGW, c_.txt_get_gate}};

  LinkState& st = link_.state();
  if (c_.cmd_get_ip) {
    c_.cmd_get_ip->setEnabled(false);
    set_back_color(c_.cmd_get_ip, colour::olive);
  }
  for (const Query& q : queries)
    if (q.box) q.box->clear();

  for (int state = 0; state < 3; ++state) {
    // Armed only for a query that goes out: while another exchange is under
    // way its replies must not be taken for answers.
    if (st.tx_busy) break;
    st.getip_state = state;
    if (!link_.tx_nowait(cmd::query(queries[state].code))) break;
    // Both receive paths take exactly 16 characters as the answer while the
    // query is pending, and leave them in the reply buffer.
    if (!link_.wait_until([&st] { return st.getip_state == 3; }, kAnswerWaitMs)) break;
    std::string answer = link_.take_net_answer();
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();
    if (queries[state].box)
      queries[state].box->setText(QString::fromLatin1(answer.data(), static_cast<qsizetype>(answer.size())));
  }

  st.getip_state = 254;
  // Bytes that came in while the query was pending are handled now.
  link_.resume_input();
  if (c_.cmd_get_ip) {
    // Both interfaces can answer the query, whichever is chosen by now.
    set_back_color(c_.cmd_get_ip, colour::idle_grey);
    c_.cmd_get_ip->setEnabled(true);
  }
}

}  // namespace quadrel

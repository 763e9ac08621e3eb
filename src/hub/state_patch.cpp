#include "hub/state_patch.h"

#include <QJsonArray>

#include "hub/shared_link.h"
#include "link/apply_plan.h"
#include "link/exit_code.h"
#include "link/state_document.h"

namespace quadrel::hub {

namespace {

// A restarting device (power on over TCP) is waited for this long.
constexpr int kRestartWaitMs = 30000;

PatchOutcome refused(const std::vector<DocumentError>& errors) {
  ApplyReport report;
  report.errors = errors;
  report.exit_code = exit_code::Usage;
  return {report.exit_code, report.to_json()};
}

}  // namespace

int http_status(int code) {
  switch (code) {
    case exit_code::Done: return 200;
    case exit_code::Refused: return 409;
    case exit_code::NoAnswer: return 504;
    case exit_code::LinkError: return 503;
    default: return 422;
  }
}

QCoro::Task<PatchOutcome> patch_state(SharedLink& link, QByteArray body, bool dry_run) {
  QString why;
  const std::optional<QJsonObject> document = parse_document(body, &why);
  if (!document) co_return refused({DocumentError{{}, why}});
  std::vector<DocumentError> errors;
  const std::optional<WantedState> wanted = read_wanted(*document, &errors);
  if (!wanted) co_return refused(errors);

  Device& device = link.device();
  if (!device.link_open() || !link.up()) {
    ApplyReport report;
    report.errors = {DocumentError{{}, QStringLiteral("the link to the device is not open")}};
    report.exit_code = exit_code::LinkError;
    co_return PatchOutcome{report.exit_code, report.to_json()};
  }
  // Each setting the device confirms reaches the other clients as its report.
  const auto watch = QObject::connect(&device, &Device::changed, &link, [&](Aspect aspect, int index) {
    if (device.link().handler_path() == ReplyPath::Exchange && device.reply_door() == Door::Set)
      emit link.confirmed(QByteArray::fromStdString(device.link().rx_buf()), Change{aspect, index}, &link);
  });
  ApplyOptions options;
  options.dry_run = dry_run;
  options.await_restart = [&link] { return link.await_reopen(kRestartWaitMs); };
  const ApplyReport report = co_await apply_state(device, *wanted, options);
  QObject::disconnect(watch);
  co_return PatchOutcome{report.exit_code, report.to_json()};
}

}  // namespace quadrel::hub

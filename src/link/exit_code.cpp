#include "link/exit_code.h"

namespace quadrel {

int exit_code_of(ExchangeOutcome outcome) {
  switch (outcome) {
    case ExchangeOutcome::Answered: return exit_code::Done;
    case ExchangeOutcome::DeviceError: return exit_code::Refused;
    case ExchangeOutcome::NoAnswer: return exit_code::NoAnswer;
    default: return exit_code::LinkError;
  }
}

QString outcome_reason(ExchangeOutcome outcome, double waited_s, const QString& link_reason) {
  switch (outcome) {
    case ExchangeOutcome::Answered: return {};
    case ExchangeOutcome::DeviceError: return QStringLiteral("refused by the device (ERR)");
    case ExchangeOutcome::NoAnswer: return QStringLiteral("no answer within %1 s").arg(waited_s, 0, 'f', 1);
    case ExchangeOutcome::Busy: return QStringLiteral("another exchange is under way");
    case ExchangeOutcome::LinkClosed:
    case ExchangeOutcome::LinkLost: break;
  }
  return link_reason.isEmpty() ? QStringLiteral("the link is closed") : link_reason;
}

}  // namespace quadrel

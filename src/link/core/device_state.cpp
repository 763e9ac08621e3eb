#include "link/core/device_state.h"

#include "link/core/catalogue.h"
#include "link/core/parameters.h"

namespace quadrel {

int disp_mode_of(int mode) { return mode == mode_no::DualPip ? mode_no::DualPop : mode; }

void DeviceModel::clear() {
  state_ = {};
  dual_kind_ = 0;
  lock_digit_.reset();
  limit_until_ = {};
}

void DeviceModel::expect_bezel_limit(int axis, Clock::duration wait) {
  if (axis == 0 || axis == 1) limit_until_[axis] = Clock::now() + wait;
}

bool DeviceModel::bezel_limit_pending(int axis) const {
  return (axis == 0 || axis == 1) && limit_until_[axis] && Clock::now() < *limit_until_[axis];
}

void DeviceModel::end_bezel_limit(int axis) {
  if (axis == 0 || axis == 1) limit_until_[axis].reset();
}

std::optional<Applied> DeviceModel::read(std::string_view line, const Parameter** row) {
  const Parameter* p = parameter(reply::code_of(line));
  if (row) *row = p;
  if (!p || !p->read) return std::nullopt;
  return p->read(*this, *p, line);
}

std::optional<Change> DeviceModel::apply(std::string_view line) {
  const std::optional<Applied> applied = read(line);
  if (!applied) return std::nullopt;
  return applied->change;
}

std::optional<Change> DeviceModel::apply_network(int which, std::string_view answer) {
  if (which < 0 || which > 2) return std::nullopt;
  if (!answer.empty() && answer.back() == '\r') answer.remove_suffix(1);
  std::optional<std::string>* fields[] = {&state_.ip, &state_.mask, &state_.gateway};
  *fields[which] = std::string(answer);
  return Change{Aspect::Network, which};
}

}  // namespace quadrel

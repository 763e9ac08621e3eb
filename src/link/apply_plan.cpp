#include "link/apply_plan.h"

#include <array>

#include "link/state_document.h"
#include "link/core/catalogue.h"

namespace quadrel {

namespace {

QString shown(const std::optional<int>& v) { return v ? QString::number(*v) : QStringLiteral("?"); }
QString shown(const Names& names, const std::optional<int>& v) { return v ? names.word(*v) : QStringLiteral("?"); }
QString shown(const std::optional<bool>& v, const char* on = "on", const char* off = "off") {
  return v ? QString::fromLatin1(*v ? on : off) : QStringLiteral("?");
}
QString shown(const std::optional<std::string>& v) {
  return v ? "\"" + QString::fromStdString(*v) + "\"" : QStringLiteral("?");
}

// Adds a change when `want` holds a value that `now` does not.
template <class T, class Show>
void compare(std::vector<PlannedChange>& out, const std::optional<T>& now, const std::optional<T>& want, const QString& what,
             std::vector<std::string> commands, Show show) {
  if (!want || now == want) return;
  out.push_back({std::move(commands), what, show(now), show(want)});
}

}  // namespace

std::vector<PlannedChange> plan_mode(const DeviceState& now, const DeviceState& want) {
  std::vector<PlannedChange> out;
  std::vector<PlannedChange> mode, resolution;
  if (want.mode)
    compare(mode, now.mode, want.mode, "mode", {cmd::set(code::MOD, *want.mode)},
            [](const auto& v) { return shown(mode_names(), v); });
  if (want.resolution)
    compare(resolution, now.resolution, want.resolution, "resolution", {cmd::set(code::RES, *want.resolution)},
            [](const auto& v) { return shown(v); });
  const bool to_matrix = !want.mode || *want.mode == mode_no::Matrix;
  for (auto* part : to_matrix ? std::array{&mode, &resolution} : std::array{&resolution, &mode})
    out.insert(out.end(), part->begin(), part->end());
  return out;
}

std::vector<PlannedChange> plan_settings(const DeviceState& now, const DeviceState& want) {
  std::vector<PlannedChange> out;
  auto number = [](const auto& v) { return shown(v); };
  const bool same_mode = !want.mode || now.mode == want.mode;
  const int disp_mode = disp_mode_of(now.mode.value_or(mode_no::Matrix));

  if (same_mode) {
    if (now.mode == mode_no::TvWall) {
      // One input feeds the whole wall.
      const auto& in = want.inputs[0];
      bool differs = false;
      for (const auto& current : now.inputs) differs = differs || current != in;
      if (in && differs)
        out.push_back({{cmd::set(code::OUT, 1), cmd::set(code::INP, *in)}, "routing (wall)", shown(now.inputs[0]),
                       shown(in)});
    } else {
      for (int ch = 1; ch <= 4; ++ch) {
        const auto& in = want.inputs[ch - 1];
        if (in)
          compare(out, now.inputs[ch - 1], in, "routing " + output_letter(ch),
                  {cmd::set(code::OUT, ch), cmd::set(code::INP, *in)}, number);
      }
    }
  }
  if (want.aspect)
    compare(out, now.aspect, want.aspect, "aspect", {cmd::set(code::ASP, *want.aspect)},
            [](const auto& v) { return shown(aspect_names(), v); });

  if (same_mode) {
    static constexpr std::string_view kCodes[] = {code::BRI, code::CON, code::HUE, code::SAT};
    const int rows = disp_mode == mode_no::Matrix ? 1 : 4;
    for (int row = 1; row <= rows; ++row) {
      for (int f = 0; f < 4; ++f) {
        const auto& v = picture_field(want.picture[row - 1], f);
        if (!v) continue;
        const QString who = rows == 1 ? QStringLiteral("all") : output_letter(row);
        compare(out, picture_field(now.picture[row - 1], f), v, "picture " + who + " " + picture_names().word(f),
                {cmd::set(kCodes[f], cmd::picture_param(disp_mode, row, *v))}, number);
      }
    }
  }

  if (want.bezel_on)
    compare(out, now.bezel_on, want.bezel_on, "bezel", {cmd::set(code::BEZ, *want.bezel_on ? 1 : 0)},
            [](const auto& v) { return shown(v); });
  if (want.bezel_h) compare(out, now.bezel_h, want.bezel_h, "bezel h", {cmd::set(code::BEH, *want.bezel_h)}, number);
  if (want.bezel_v) compare(out, now.bezel_v, want.bezel_v, "bezel v", {cmd::set(code::BEV, *want.bezel_v)}, number);

  if (want.audio_on)
    compare(out, now.audio_on, want.audio_on, "audio",
            {std::string(*want.audio_on ? cmd::AUD_ON : cmd::AUD_OFF)}, [](const auto& v) { return shown(v); });
  if (want.audio_edid)
    compare(out, now.audio_edid, want.audio_edid, "audio edid", {cmd::set(code::AUE, *want.audio_edid)},
            [](const auto& v) { return shown(edid_names(), v); });
  if (want.audio_a)
    compare(out, now.audio_a, want.audio_a, "audio dual-a", {cmd::set(code::AUA, *want.audio_a)}, number);
  if (want.audio_b)
    compare(out, now.audio_b, want.audio_b, "audio dual-b", {cmd::set(code::AUB, *want.audio_b)}, number);
  if (want.audio_quad)
    compare(out, now.audio_quad, want.audio_quad, "audio quad", {cmd::set(code::AUQ, *want.audio_quad)}, number);

  for (int n = 1; n <= 4; ++n) {
    if (const auto& v = want.hdcp_in[n - 1])
      compare(out, now.hdcp_in[n - 1], v, "hdcp input " + QString::number(n), {cmd::pair(code::HPI, n, *v)},
              [](const auto& x) { return shown(hdcp_in_names(), x); });
  }
  for (int n = 1; n <= 4; ++n) {
    if (const auto& v = want.hdcp_out[n - 1])
      compare(out, now.hdcp_out[n - 1], v, "hdcp output " + output_letter(n), {cmd::pair(code::HPO, n, *v)},
              [](const auto& x) { return shown(hdcp_out_names(), x); });
  }

  if (want.labels_on)
    compare(out, now.labels_on, want.labels_on, "labels", {cmd::pair(code::LAB, 0, *want.labels_on ? 1 : 0)},
            [](const auto& v) { return shown(v, "shown", "hidden"); });
  for (int n = 1; n <= 4; ++n) {
    if (const auto& text = want.labels[n - 1])
      compare(out, now.labels[n - 1], text, "label " + QString::number(n), {cmd::label_set(n, *text)},
              [](const auto& v) { return shown(v); });
  }

  if (same_mode && now.mode == mode_no::DualPip) {
    for (int w = 1; w <= 2; ++w) {
      const QString who = w == 1 ? "A" : "B";
      if (const auto& v = want.pip_corner[w - 1])
        compare(out, now.pip_corner[w - 1], v, "pip " + who + " corner", {cmd::pair(code::PPO, w, *v)},
                [](const auto& x) { return shown(corner_names(), x); });
      if (const auto& v = want.pip_size[w - 1])
        compare(out, now.pip_size[w - 1], v, "pip " + who + " size", {cmd::pair(code::PSZ, w, *v)},
                [](const auto& x) { return shown(size_names(), x); });
    }
  }

  // Last, so that a locked front panel is the device's final state.
  if (want.key_lock)
    compare(out, now.key_lock, want.key_lock, "key lock",
            {std::string(*want.key_lock ? cmd::LCK_LOCK : cmd::LCK_UNLOCK)}, [](const auto& v) { return shown(v); });
  return out;
}

}  // namespace quadrel

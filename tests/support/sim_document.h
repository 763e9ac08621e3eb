// The simulated device's own state as the state document shows it, and a
// state that differs from the factory one wherever it can be read.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "sim_device.h"

namespace quadrel::test {

// A device with a setting other than the factory one everywhere it can be read in `mode`.
inline void vary(corvane::DeviceState& s, int mode) {
  s.mode = mode;
  s.channel = 2;
  s.resolution = mode == 1 ? 6 : 8;
  s.aspect = 2;
  for (int ch = 0; ch < (mode == 1 ? 1 : 4); ++ch) s.picture[ch] = {10 + ch, 20 + ch, 30 + ch, 100 - ch};
  if (mode == 3) s.inputs.fill(2);
  else s.inputs = {4, 3, 2, 1};
  s.bezel_on = true;
  s.bezel_h = 17;
  s.bezel_v = 150;
  s.audio_on = false;
  s.audio_edid = 3;
  s.audio_b = 2;
  s.audio_quad = 4;
  s.key_lock = true;
  s.hdcp_in = {1, 0, 1, 0};
  s.hdcp_out = {0, 1, 1, 0};
  s.labels_on = true;
  s.labels = {"Stage Left", "", "Camera 2", "ABCDEFGHIJKL"};
  s.ip = "010.000.002.020";
  if (mode == 4) s.pip_corner = {3, 0}, s.pip_size = {2, 3};
}

// What `status --json` must print for a simulated device: every key whatever the mode.
inline QJsonObject expected_json(const corvane::DeviceState& s, const std::vector<std::string>& resolutions) {
  static const char* modes[] = {"", "matrix", "dual-pop", "tv-wall", "dual-pip", "quad"};
  static const char* aspects[] = {"full", "4:3", "16:9", "16:10", "keep"};
  static const char* edids[] = {"2ch", "6ch", "8ch", "bitstream", "hd"};
  static const char* corners[] = {"upper-left", "upper-right", "lower-right", "lower-left"};
  static const char* sizes[] = {"large", "medium", "small", "off"};
  const QString letters = "ABCD";
  auto picture = [](const corvane::Picture& p, bool shown) {
    auto v = [shown](int value) { return shown ? QJsonValue(value) : QJsonValue(); };
    return QJsonObject{{"brightness", v(p.brightness)}, {"contrast", v(p.contrast)}, {"hue", v(p.hue)},
                       {"saturation", v(p.saturation)}};
  };
  const bool pip = s.mode == 4;
  QJsonObject routing, pic{{"all", picture(s.picture[0], s.mode == 1)}}, in, out, text, windows;
  for (int i = 0; i < 4; ++i) {
    routing[letters[i]] = s.inputs[i];
    pic[letters[i]] = picture(s.picture[i], s.mode != 1);
    in[QString::number(i + 1)] = s.hdcp_in[i] ? "off" : "on";
    out[letters[i]] = s.hdcp_out[i] ? "output" : "input";
    text[QString::number(i + 1)] = QString::fromStdString(s.labels[i]);
  }
  for (int w = 0; w < 2; ++w)
    windows[letters[w]] = QJsonObject{{"corner", pip ? QJsonValue(corners[s.pip_corner[w]]) : QJsonValue()},
                                      {"size", pip ? QJsonValue(sizes[s.pip_size[w]]) : QJsonValue()}};
  auto plain = [](const std::string& address) {
    QStringList parts;
    for (const QString& part : QString::fromStdString(address).split('.')) parts << QString::number(part.toInt());
    return parts.join('.');
  };
  return {{"schema", 1},
          {"firmware", QJsonObject{{"version", QString::fromStdString(s.version.substr(0, 1) + "." + s.version.substr(1))},
                                   {"version2", QString::fromStdString(s.version2).trimmed()}}},
          {"power", s.power_on ? "on" : "standby"},
          {"mode", modes[s.mode]},
          {"routing", routing},
          {"resolution", s.resolution},
          {"resolution_name", s.resolution >= 1 && s.resolution <= static_cast<int>(resolutions.size())
                                  ? QJsonValue(QString::fromStdString(resolutions[s.resolution - 1]))
                                  : QJsonValue()},
          {"aspect", aspects[s.aspect]},
          {"picture", pic},
          {"bezel", QJsonObject{{"on", s.bezel_on}, {"h", s.bezel_h}, {"v", s.bezel_v},
                                {"h_limit", s.bezel_h_limit}, {"v_limit", s.bezel_v_limit}}},
          {"audio", QJsonObject{{"on", s.audio_on}, {"edid", edids[s.audio_edid]}, {"dual_a", s.audio_a},
                                {"dual_b", s.audio_b}, {"quad", s.audio_quad}}},
          {"key_lock", s.key_lock},
          {"hdcp", QJsonObject{{"inputs", in}, {"outputs", out}}},
          {"labels", QJsonObject{{"shown", s.labels_on}, {"text", text}}},
          {"pip", windows},
          {"network", QJsonObject{{"ip", plain(s.ip)}, {"mask", plain(s.mask)}, {"gateway", plain(s.gateway)}}}};
}

}  // namespace quadrel::test

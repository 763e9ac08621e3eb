#include "link/state_document.h"

#include <QStringList>

namespace quadrel {

namespace {

Names make(int first, std::vector<std::vector<QString>> words, std::vector<QString> captions) {
  return Names{first, std::move(words), std::move(captions)};
}

QJsonValue json(const std::optional<int>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue json(const std::optional<bool>& v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonValue json(const std::optional<std::string>& v) {
  return v ? QJsonValue(QString::fromStdString(*v)) : QJsonValue();
}
QJsonValue json(const Names& names, const std::optional<int>& v) {
  if (!v || names.word(*v).isEmpty()) return QJsonValue();
  return names.word(*v);
}

// Reads the JSON back, remembering the first problem with the key path that has it.
class Reader {
 public:
  explicit Reader(QString* error) : error_(error) {}
  bool ok() const { return ok_; }

  void fail(const QString& path, const QString& what) {
    if (!ok_) return;
    ok_ = false;
    if (error_) *error_ = QStringLiteral("\"%1\": %2").arg(path, what);
  }

  // The object under `key`, or nothing when it is missing or null.
  std::optional<QJsonObject> object(const QJsonObject& in, const QString& key, const QString& path) {
    const QJsonValue v = in.value(key);
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isObject()) {
      fail(path, QStringLiteral("expected an object"));
      return std::nullopt;
    }
    return v.toObject();
  }

  void integer(const QJsonObject& in, const QString& key, const QString& path, int lo, int hi,
               std::optional<int>& out) {
    const QJsonValue v = in.value(key);
    if (v.isUndefined() || v.isNull()) return;
    const double d = v.toDouble(-1e9);
    if (!v.isDouble() || d != static_cast<int>(d) || d < lo || d > hi)
      return fail(path, QStringLiteral("expected a whole number from %1 to %2").arg(lo).arg(hi));
    out = static_cast<int>(d);
  }

  void named(const QJsonObject& in, const QString& key, const QString& path, const Names& names,
             std::optional<int>& out) {
    const QJsonValue v = in.value(key);
    if (v.isUndefined() || v.isNull()) return;
    const auto value = v.isString() ? names.value_of(v.toString()) : std::nullopt;
    if (!value) return fail(path, QStringLiteral("expected one of %1").arg(names.choices()));
    out = value;
  }

  void boolean(const QJsonObject& in, const QString& key, const QString& path, std::optional<bool>& out) {
    const QJsonValue v = in.value(key);
    if (v.isUndefined() || v.isNull()) return;
    if (!v.isBool()) return fail(path, QStringLiteral("expected true or false"));
    out = v.toBool();
  }

  void text(const QJsonObject& in, const QString& key, const QString& path, std::optional<std::string>& out) {
    const QJsonValue v = in.value(key);
    if (v.isUndefined() || v.isNull()) return;
    if (!v.isString()) return fail(path, QStringLiteral("expected a string"));
    out = v.toString().toStdString();
  }

 private:
  QString* error_;
  bool ok_ = true;
};

QString or_unknown(const QString& text) { return text.isEmpty() ? QStringLiteral("?") : text; }
QString shown(const std::optional<int>& v) { return v ? QString::number(*v) : QStringLiteral("?"); }
QString shown(const std::optional<std::string>& v) {
  return v ? QString::fromStdString(*v) : QStringLiteral("?");
}
QString shown(const Names& names, const std::optional<int>& v) {
  return v ? or_unknown(names.caption(*v)) : QStringLiteral("?");
}
QString on_off(const std::optional<bool>& v, const char* on = "on", const char* off = "off") {
  return v ? QString::fromLatin1(*v ? on : off) : QStringLiteral("?");
}

}  // namespace

std::optional<int> Names::value_of(const QString& word) const {
  const QString w = word.trimmed().toLower();
  for (std::size_t i = 0; i < words.size(); ++i) {
    const int value = first + static_cast<int>(i);
    if (w == QString::number(value)) return value;
    for (const QString& alias : words[i])
      if (w == alias) return value;
  }
  return std::nullopt;
}

QString Names::word(int value) const {
  const int i = value - first;
  return i >= 0 && i < static_cast<int>(words.size()) ? words[i].front() : QString();
}

QString Names::caption(int value) const {
  const int i = value - first;
  return i >= 0 && i < static_cast<int>(captions.size()) ? captions[i] : QString();
}

QString Names::choices() const {
  QStringList list;
  for (const auto& w : words) list << w.front();
  return list.join(QLatin1Char('|'));
}

const Names& mode_names() {
  static const Names n = make(1, {{"matrix"}, {"dual-pop"}, {"tv-wall"}, {"dual-pip"}, {"quad"}},
                              {"Matrix", "Dual PoP", "TV Wall", "Dual PiP", "Quad"});
  return n;
}

const Names& aspect_names() {
  static const Names n = make(0, {{"full"}, {"4:3", "4:3 tv"}, {"16:9", "16:9 tv"}, {"16:10", "16:10 tv"},
                                  {"keep", "keep ratio", "keep-ratio"}},
                              {"FULL", "4:3 TV", "16:9 TV", "16:10 TV", "Keep Ratio"});
  return n;
}

const Names& edid_names() {
  static const Names n = make(0, {{"2ch"}, {"6ch"}, {"8ch"}, {"bitstream"}, {"hd"}},
                              {"2CH", "6CH", "8CH", "Bitstream", "HD"});
  return n;
}

const Names& corner_names() {
  static const Names n = make(0, {{"upper-left", "ul"}, {"upper-right", "ur"}, {"lower-right", "lr"},
                                  {"lower-left", "ll"}},
                              {"upper left", "upper right", "lower right", "lower left"});
  return n;
}

const Names& size_names() {
  static const Names n =
      make(0, {{"large"}, {"medium"}, {"small"}, {"off"}}, {"Large", "Medium", "Small", "Off"});
  return n;
}

const Names& hdcp_in_names() {
  static const Names n = make(0, {{"on"}, {"off"}}, {"on", "off"});
  return n;
}

const Names& hdcp_out_names() {
  static const Names n =
      make(0, {{"input", "follow-input"}, {"output", "follow-output"}}, {"follows input", "follows output"});
  return n;
}

const Names& picture_names() {
  static const Names n = make(0, {{"brightness", "bri"}, {"contrast", "con"}, {"hue"}, {"saturation", "sat"}},
                              {"brightness", "contrast", "hue", "saturation"});
  return n;
}

const Names& key_names() {
  static const Names n = make(0, {{"menu"}, {"exit"}, {"ok"}, {"up"}, {"down"}, {"left"}, {"right"}},
                              {"Menu", "Exit", "OK", "Up", "Down", "Left", "Right"});
  return n;
}

QString output_letter(int channel) {
  return channel >= 1 && channel <= 4 ? QString(QChar(u'A' + (channel - 1))) : QString();
}

std::optional<int> output_of(const QString& word) {
  const QString w = word.trimmed().toUpper();
  if (w.size() == 1 && w[0] >= u'A' && w[0] <= u'D') return w[0].unicode() - u'A' + 1;
  return std::nullopt;
}

std::optional<int>& picture_field(PictureValues& values, int which) {
  switch (which) {
    case 0: return values.brightness;
    case 1: return values.contrast;
    case 2: return values.hue;
    default: return values.saturation;
  }
}

const std::optional<int>& picture_field(const PictureValues& values, int which) {
  return picture_field(const_cast<PictureValues&>(values), which);
}

QJsonObject to_json(const DeviceState& s, const std::vector<std::string>& resolutions) {
  QJsonObject o;
  o["firmware"] = QJsonObject{{"version", json(s.version)}, {"version2", json(s.version2)}};
  o["power"] = s.power ? QJsonValue(*s.power ? "on" : "standby") : QJsonValue();
  o["mode"] = json(mode_names(), s.mode);

  QJsonObject routing;
  for (int ch = 1; ch <= 4; ++ch) routing[output_letter(ch)] = json(s.inputs[ch - 1]);
  o["routing"] = routing;

  o["resolution"] = json(s.resolution);
  const bool named = s.resolution && *s.resolution >= 1 && *s.resolution <= static_cast<int>(resolutions.size());
  o["resolution_name"] = named ? QJsonValue(QString::fromStdString(resolutions[*s.resolution - 1])) : QJsonValue();
  o["aspect"] = json(aspect_names(), s.aspect);

  auto picture_of = [](const PictureValues& p) {
    QJsonObject row;
    for (int f = 0; f < 4; ++f) row[picture_names().word(f)] = json(picture_field(p, f));
    return row;
  };
  QJsonObject picture;
  if (s.mode == mode_no::Matrix) {
    picture["all"] = picture_of(s.picture[0]);
  } else {
    for (int ch = 1; ch <= 4; ++ch) picture[output_letter(ch)] = picture_of(s.picture[ch - 1]);
  }
  o["picture"] = picture;

  o["bezel"] = QJsonObject{{"on", json(s.bezel_on)},           {"h", json(s.bezel_h)},
                           {"v", json(s.bezel_v)},             {"h_limit", json(s.bezel_h_limit)},
                           {"v_limit", json(s.bezel_v_limit)}};
  o["audio"] = QJsonObject{{"on", json(s.audio_on)},
                           {"edid", json(edid_names(), s.audio_edid)},
                           {"dual_a", json(s.audio_a)},
                           {"dual_b", json(s.audio_b)},
                           {"quad", json(s.audio_quad)}};
  o["key_lock"] = json(s.key_lock);

  QJsonObject hdcp_in, hdcp_out;
  for (int n = 1; n <= 4; ++n) {
    hdcp_in[QString::number(n)] = json(hdcp_in_names(), s.hdcp_in[n - 1]);
    hdcp_out[output_letter(n)] = json(hdcp_out_names(), s.hdcp_out[n - 1]);
  }
  o["hdcp"] = QJsonObject{{"inputs", hdcp_in}, {"outputs", hdcp_out}};

  QJsonObject label_text;
  for (int n = 1; n <= 4; ++n) label_text[QString::number(n)] = json(s.labels[n - 1]);
  o["labels"] = QJsonObject{{"shown", json(s.labels_on)}, {"text", label_text}};

  const bool pip_known = s.pip_corner[0] || s.pip_corner[1] || s.pip_size[0] || s.pip_size[1];
  if (pip_known) {
    QJsonObject pip;
    for (int w = 0; w < 2; ++w)
      pip[w == 0 ? "A" : "B"] = QJsonObject{{"corner", json(corner_names(), s.pip_corner[w])},
                                            {"size", json(size_names(), s.pip_size[w])}};
    o["pip"] = pip;
  } else {
    o["pip"] = QJsonValue();
  }
  o["network"] = QJsonObject{{"ip", json(s.ip)}, {"mask", json(s.mask)}, {"gateway", json(s.gateway)}};
  return o;
}

std::optional<DeviceState> from_json(const QJsonObject& o, QString* error) {
  DeviceState s;
  Reader r(error);

  if (auto fw = r.object(o, "firmware", "firmware")) {
    r.text(*fw, "version", "firmware.version", s.version);
    r.text(*fw, "version2", "firmware.version2", s.version2);
  }
  if (const QJsonValue power = o.value("power"); !power.isUndefined() && !power.isNull()) {
    if (power == QJsonValue("on") || power == QJsonValue("standby"))
      s.power = power == QJsonValue("on");
    else
      r.fail("power", "expected \"on\" or \"standby\"");
  }
  r.named(o, "mode", "mode", mode_names(), s.mode);
  if (auto routing = r.object(o, "routing", "routing"))
    for (int ch = 1; ch <= 4; ++ch)
      r.integer(*routing, output_letter(ch), "routing." + output_letter(ch), 1, 4, s.inputs[ch - 1]);
  r.integer(o, "resolution", "resolution", 1, 99, s.resolution);
  r.named(o, "aspect", "aspect", aspect_names(), s.aspect);

  if (auto picture = r.object(o, "picture", "picture")) {
    auto row = [&](const QString& key, PictureValues& out) {
      if (auto p = r.object(*picture, key, "picture." + key))
        for (int f = 0; f < 4; ++f)
          r.integer(*p, picture_names().word(f), "picture." + key + "." + picture_names().word(f), 0, 100,
                    picture_field(out, f));
    };
    row("all", s.picture[0]);
    for (int ch = 1; ch <= 4; ++ch)
      if (picture->contains(output_letter(ch))) row(output_letter(ch), s.picture[ch - 1]);
  }
  if (auto bezel = r.object(o, "bezel", "bezel")) {
    r.boolean(*bezel, "on", "bezel.on", s.bezel_on);
    r.integer(*bezel, "h", "bezel.h", 0, 254, s.bezel_h);
    r.integer(*bezel, "v", "bezel.v", 0, 254, s.bezel_v);
    r.integer(*bezel, "h_limit", "bezel.h_limit", 0, 254, s.bezel_h_limit);
    r.integer(*bezel, "v_limit", "bezel.v_limit", 0, 254, s.bezel_v_limit);
  }
  if (auto audio = r.object(o, "audio", "audio")) {
    r.boolean(*audio, "on", "audio.on", s.audio_on);
    r.named(*audio, "edid", "audio.edid", edid_names(), s.audio_edid);
    r.integer(*audio, "dual_a", "audio.dual_a", 1, 2, s.audio_a);
    r.integer(*audio, "dual_b", "audio.dual_b", 1, 2, s.audio_b);
    r.integer(*audio, "quad", "audio.quad", 1, 4, s.audio_quad);
  }
  r.boolean(o, "key_lock", "key_lock", s.key_lock);
  if (auto hdcp = r.object(o, "hdcp", "hdcp")) {
    if (auto in = r.object(*hdcp, "inputs", "hdcp.inputs"))
      for (int n = 1; n <= 4; ++n)
        r.named(*in, QString::number(n), "hdcp.inputs." + QString::number(n), hdcp_in_names(), s.hdcp_in[n - 1]);
    if (auto out = r.object(*hdcp, "outputs", "hdcp.outputs"))
      for (int n = 1; n <= 4; ++n)
        r.named(*out, output_letter(n), "hdcp.outputs." + output_letter(n), hdcp_out_names(), s.hdcp_out[n - 1]);
  }
  if (auto labels = r.object(o, "labels", "labels")) {
    r.boolean(*labels, "shown", "labels.shown", s.labels_on);
    if (auto text = r.object(*labels, "text", "labels.text"))
      for (int n = 1; n <= 4; ++n) {
        const QString key = QString::number(n);
        r.text(*text, key, "labels.text." + key, s.labels[n - 1]);
        if (s.labels[n - 1] && s.labels[n - 1]->size() > 12)
          r.fail("labels.text." + key, "a label holds at most 12 characters");
      }
  }
  if (auto pip = r.object(o, "pip", "pip")) {
    for (int w = 0; w < 2; ++w) {
      const QString key = w == 0 ? "A" : "B";
      if (auto one = r.object(*pip, key, "pip." + key)) {
        r.named(*one, "corner", "pip." + key + ".corner", corner_names(), s.pip_corner[w]);
        r.named(*one, "size", "pip." + key + ".size", size_names(), s.pip_size[w]);
      }
    }
  }
  if (auto net = r.object(o, "network", "network")) {
    r.text(*net, "ip", "network.ip", s.ip);
    r.text(*net, "mask", "network.mask", s.mask);
    r.text(*net, "gateway", "network.gateway", s.gateway);
  }
  if (!r.ok()) return std::nullopt;
  return s;
}

QString to_text(const DeviceState& s, const std::vector<std::string>& resolutions) {
  QStringList lines;
  auto line = [&lines](const char* what, const QString& value) {
    lines << QStringLiteral("%1 %2").arg(QLatin1String(what), -12).arg(value);
  };
  line("Firmware", shown(s.version) + " / " + shown(s.version2));
  line("Power", on_off(s.power, "on", "standby"));
  line("Mode", shown(mode_names(), s.mode));

  QStringList routing;
  for (int ch = 1; ch <= 4; ++ch) routing << output_letter(ch) + " " + shown(s.inputs[ch - 1]);
  line("Routing", routing.join(", "));

  QString resolution = shown(s.resolution);
  if (s.resolution && *s.resolution >= 1 && *s.resolution <= static_cast<int>(resolutions.size()))
    resolution += " (" + QString::fromStdString(resolutions[*s.resolution - 1]) + ")";
  line("Resolution", resolution);
  line("Aspect", shown(aspect_names(), s.aspect));

  const int rows = s.mode == mode_no::Matrix ? 1 : 4;
  for (int ch = 1; ch <= rows; ++ch) {
    QStringList values;
    for (int f = 0; f < 4; ++f)
      values << picture_names().caption(f) + " " + shown(picture_field(s.picture[ch - 1], f));
    const QString row = rows == 1 ? QStringLiteral("all") : output_letter(ch);
    line(ch == 1 ? "Picture" : "", row + ": " + values.join(", "));
  }
  line("Bezel", on_off(s.bezel_on) + "; H " + shown(s.bezel_h) + " (limit " + shown(s.bezel_h_limit) + "), V " +
                    shown(s.bezel_v) + " (limit " + shown(s.bezel_v_limit) + ")");
  line("Audio", on_off(s.audio_on) + "; EDID " + shown(edid_names(), s.audio_edid) + "; dual A " +
                    shown(s.audio_a) + ", dual B " + shown(s.audio_b) + "; quad " + shown(s.audio_quad));
  line("Key lock", on_off(s.key_lock));

  QStringList in, out;
  for (int n = 1; n <= 4; ++n) {
    in << QString::number(n) + " " + shown(hdcp_in_names(), s.hdcp_in[n - 1]);
    out << output_letter(n) + " " + shown(hdcp_out_names(), s.hdcp_out[n - 1]);
  }
  line("HDCP inputs", in.join(", "));
  line("HDCP outputs", out.join(", "));

  QStringList labels;
  for (int n = 1; n <= 4; ++n)
    labels << QString::number(n) + " " + (s.labels[n - 1] ? "\"" + shown(s.labels[n - 1]) + "\"" : "?");
  line("Labels", on_off(s.labels_on, "shown", "hidden") + "; " + labels.join(", "));

  if (s.pip_corner[0] || s.pip_corner[1] || s.pip_size[0] || s.pip_size[1]) {
    QStringList pip;
    for (int w = 0; w < 2; ++w)
      pip << QString(w == 0 ? "A " : "B ") + shown(corner_names(), s.pip_corner[w]) + ", " +
                 shown(size_names(), s.pip_size[w]);
    line("PiP", pip.join("; "));
  } else {
    line("PiP", "not read (Dual PiP only)");
  }
  line("Network", "IP " + shown(s.ip) + ", mask " + shown(s.mask) + ", gateway " + shown(s.gateway));
  return lines.join('\n') + '\n';
}

}  // namespace quadrel

#include "hub/ha_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <utility>

#include "link/state_document.h"

namespace quadrel::hub {

namespace {

// Between an input's number and its label in an output's options: "3 · PC".
const QString kLabelSeparator = QStringLiteral(" \u00b7 ");

// A value as a literal of a template: JSON's spelling of a string, a number
// or a switch is Jinja's too.
QString literal(const QJsonValue& value) {
  const QByteArray json = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return QString::fromUtf8(json.mid(1, json.size() - 2));
}

// A dict literal of a template: {"matrix": "Matrix", ...}.
QString dict(const std::vector<std::pair<QJsonValue, QJsonValue>>& pairs) {
  QStringList items;
  for (const auto& [key, value] : pairs) items << literal(key) + QStringLiteral(": ") + literal(value);
  return QLatin1Char('{') + items.join(QStringLiteral(", ")) + QLatin1Char('}');
}

// The value at a document's path as a template reads it: value_json["audio"]["on"].
QString value_at(const QString& path) {
  QString text = QStringLiteral("value_json");
  for (const QString& key : path.split(QLatin1Char('.'))) text += QLatin1Char('[') + literal(key) + QLatin1Char(']');
  return text;
}

// A value template that names the state's value through `names`; "None"
// (Home Assistant's unknown) for a value it has no name for, null included.
QString named_value(const QString& path, const std::vector<std::pair<QJsonValue, QJsonValue>>& names) {
  return QStringLiteral("{{ %1.get(%2, \"None\") }}").arg(dict(names), value_at(path));
}

QJsonValue at(const QJsonObject& document, const QString& path) {
  QJsonValue value = document;
  for (const QString& key : path.split(QLatin1Char('.'))) value = value.toObject().value(key);
  return value;
}

// A partial state document that sets one value: {"audio": {"on": true}}.
QJsonObject setting(const QString& path, const QJsonValue& value) {
  const QStringList keys = path.split(QLatin1Char('.'));
  QJsonValue inner = value;
  for (auto key = keys.crbegin(); key != keys.crend(); ++key) inner = QJsonObject{{*key, inner}};
  return inner.toObject();
}

QString compact(const QJsonObject& object) { return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)); }

// A command template that puts the setting's value, named by `values`, in its place.
QString setting_template(const QString& path, const std::vector<std::pair<QJsonValue, QJsonValue>>& values) {
  const QString hole = QStringLiteral("@@value@@");
  QString text = compact(setting(path, hole));
  return text.replace(literal(hole), QStringLiteral("{{ %1[value] | tojson }}").arg(dict(values)));
}

class Builder {
 public:
  Builder(const DiscoveryUnit& unit, const QJsonObject& state, const std::vector<std::string>& resolutions)
      : unit_(unit), state_(state), parameters_(parameters_description(resolutions).value("parameters").toArray()) {
    const QString node = QStringLiteral("quadrel_") + unit_.id;
    device_ = {{"identifiers", QJsonArray{node}},
               {"name", QStringLiteral("Corvane %1").arg(unit_.id)},
               {"model", QStringLiteral("Corvane")}};
    if (const QJsonValue firmware = at(state_, QStringLiteral("firmware.version")); firmware.isString())
      device_["sw_version"] = firmware;
    if (!unit_.panel_url.isEmpty()) device_["configuration_url"] = unit_.panel_url;
  }

  std::map<QString, QByteArray> build() {
    mode_select();
    routing_selects();
    for (const char* path : {"power", "key_lock", "audio.on", "labels.shown"}) switch_of(QLatin1String(path));
    preset_buttons();
    resolution_select();
    sensor(QStringLiteral("firmware"), parameter(QStringLiteral("firmware.version")).value("caption").toString(),
           QStringLiteral("firmware.version"));
    sensor(QStringLiteral("link"), QStringLiteral("Link"), QLatin1String(kLinkKey) + QStringLiteral(".state"));
    return std::move(configs_);
  }

 private:
  QJsonObject parameter(const QString& path) const {
    for (const QJsonValue& p : parameters_)
      if (p.toObject().value("path").toString() == path) return p.toObject();
    return {};
  }

  // The mode's choice the state is in, or nothing.
  QJsonObject mode_choice() const {
    const QString mode = state_.value("mode").toString();
    for (const QJsonValue& c : parameter(QStringLiteral("mode")).value("choices").toArray())
      if (c.toObject().value("word").toString() == mode) return c.toObject();
    return {};
  }

  QJsonObject entity(const QString& name, const QString& object) const {
    return {{"name", name},
            {"unique_id", QStringLiteral("quadrel_%1_%2").arg(unit_.id, object)},
            {"device", device_},
            {"origin", QJsonObject{{"name", "Quadrel"}, {"sw_version", unit_.version}}},
            {"availability_topic", unit_.base + QStringLiteral("/availability")},
            {"payload_available", "online"},
            {"payload_not_available", "offline"},
            {"qos", 1}};
  }

  void add(const QString& component, const QString& object, QJsonObject config) {
    configs_[QStringLiteral("%1/%2/quadrel_%3/%4/config").arg(unit_.ha_prefix, component, unit_.id, object)] =
        QJsonDocument(config).toJson(QJsonDocument::Compact);
  }

  // A select whose options name a value of the document at `path`.
  void select(const QString& object, const QString& name, const QString& path,
              const std::vector<std::pair<QJsonValue, QJsonValue>>& options, const QString& icon) {
    QJsonArray names;
    std::vector<std::pair<QJsonValue, QJsonValue>> by_value, by_name;
    for (const auto& [value, option] : options) {
      names.append(option);
      by_value.emplace_back(value, option);
      by_name.emplace_back(option, value);
    }
    QJsonObject config = entity(name, object);
    config["icon"] = icon;
    config["options"] = names;
    config["state_topic"] = unit_.base + QStringLiteral("/state");
    config["value_template"] = named_value(path, by_value);
    config["command_topic"] = unit_.base + QStringLiteral("/set");
    config["command_template"] = setting_template(path, by_name);
    add(QStringLiteral("select"), object, config);
  }

  void mode_select() {
    const QJsonObject mode = parameter(QStringLiteral("mode"));
    std::vector<std::pair<QJsonValue, QJsonValue>> options;
    for (const QJsonValue& c : mode.value("choices").toArray())
      options.emplace_back(c.toObject().value("word"), c.toObject().value("caption"));
    select(QStringLiteral("mode"), mode.value("caption").toString(), QStringLiteral("mode"), options,
           QStringLiteral("mdi:view-dashboard"));
  }

  // One select per output the mode has; its options are the inputs, each
  // with its label when it has one.
  void routing_selects() {
    const QJsonArray outputs = mode_choice().value("outputs").toArray();
    const QJsonObject routing = parameter(QStringLiteral("routing.@"));
    const QJsonArray paths = routing.value("paths").toArray();
    const QJsonArray labels = parameter(QStringLiteral("labels.text.#")).value("paths").toArray();
    std::vector<std::pair<QJsonValue, QJsonValue>> inputs;
    for (int input = routing.value("min").toInt(); input <= routing.value("max").toInt(); ++input) {
      const QString label = at(state_, labels.at(input - 1).toString()).toString().trimmed();
      inputs.emplace_back(input, QString::number(input) + (label.isEmpty() ? QString() : kLabelSeparator + label));
    }
    for (qsizetype i = 0; i < outputs.size() && i < paths.size(); ++i) {
      const QString output = outputs.at(i).toString();
      if (output.isEmpty()) continue;
      const QString path = paths.at(i).toString();
      select(path.toLower().replace(QLatin1Char('.'), QLatin1Char('_')),
             routing.value("caption").toString() + QLatin1Char(' ') + output, path, inputs,
             QStringLiteral("mdi:video-input-hdmi"));
    }
  }

  // The names the mode serves (all of them while the mode is not known).
  void resolution_select() {
    const QJsonObject resolution = parameter(QStringLiteral("resolution"));
    const QJsonValue mode = state_.value("mode");
    std::vector<std::pair<QJsonValue, QJsonValue>> options;
    for (const QJsonValue& c : resolution.value("choices").toArray()) {
      const QJsonObject choice = c.toObject();
      if (mode.isString() && !choice.value("modes").toArray().contains(mode)) continue;
      options.emplace_back(choice.value("value"), choice.value("caption"));
    }
    if (options.empty()) return;
    select(QStringLiteral("resolution"), resolution.value("caption").toString(), QStringLiteral("resolution"), options,
           QStringLiteral("mdi:monitor"));
  }

  // A value of two choices: a word (the power's "on" and "standby") or a flag.
  void switch_of(const QString& path) {
    const QJsonObject p = parameter(path);
    const QJsonArray choices = p.value("choices").toArray();
    const bool flag = p.value("kind") == QLatin1String("flag");
    const QJsonObject off = choices.first().toObject(), on = choices.last().toObject();
    // "audio.on" is the audio's switch: "audio".
    QString object = QString(path).replace(QLatin1Char('.'), QLatin1Char('_'));
    if (object.endsWith(QLatin1String("_on"))) object.chop(3);
    QJsonObject config = entity(p.value("caption").toString(), object);
    config["state_topic"] = unit_.base + QStringLiteral("/state");
    config["value_template"] = flag ? named_value(path, {{true, on.value("word")}, {false, off.value("word")}})
                                    : QStringLiteral("{{ %1 }}").arg(value_at(path));
    config["state_on"] = on.value("word");
    config["state_off"] = off.value("word");
    config["command_topic"] = unit_.base + QStringLiteral("/set");
    config["payload_on"] = compact(setting(path, flag ? QJsonValue(true) : on.value("word")));
    config["payload_off"] = compact(setting(path, flag ? QJsonValue(false) : off.value("word")));
    add(QStringLiteral("switch"), object, config);
  }

  // A recall is an event, not a value of the document: its button sends the
  // device's line.
  void preset_buttons() {
    for (const QJsonValue& c : parameter(QStringLiteral("preset.recalled")).value("commands").toArray()) {
      const int preset = c.toObject().value("value").toInt();
      QJsonObject config = entity(QStringLiteral("Recall preset %1").arg(preset), QStringLiteral("preset_%1").arg(preset));
      config["icon"] = QStringLiteral("mdi:numeric-%1-box").arg(preset);
      config["command_topic"] = unit_.base + QStringLiteral("/send");
      config["payload_press"] = c.toObject().value("line");
      add(QStringLiteral("button"), QStringLiteral("preset_%1").arg(preset), config);
    }
  }

  void sensor(const QString& object, const QString& name, const QString& path) {
    QJsonObject config = entity(name, object);
    config["entity_category"] = "diagnostic";
    config["state_topic"] = unit_.base + QStringLiteral("/state");
    config["value_template"] = QStringLiteral("{{ %1 }}").arg(value_at(path));
    if (path.startsWith(QLatin1String(kLinkKey))) {
      // Since when, why, and where: the link's whole object.
      config["json_attributes_topic"] = unit_.base + QStringLiteral("/state");
      config["json_attributes_template"] = QStringLiteral("{{ %1 | tojson }}").arg(value_at(QLatin1String(kLinkKey)));
    }
    add(QStringLiteral("sensor"), object, config);
  }

  const DiscoveryUnit& unit_;
  const QJsonObject& state_;
  const QJsonArray parameters_;
  QJsonObject device_;
  std::map<QString, QByteArray> configs_;
};

}  // namespace

std::map<QString, QByteArray> discovery_configs(const DiscoveryUnit& unit, const QJsonObject& state,
                                                const std::vector<std::string>& resolutions) {
  return Builder(unit, state, resolutions).build();
}

std::vector<QString> all_discovery_topics(const DiscoveryUnit& unit, const std::vector<std::string>& resolutions) {
  std::map<QString, QByteArray> every;
  const QJsonArray modes = parameters_description(resolutions).value("parameters").toArray();
  for (const QJsonValue& p : modes) {
    if (p.toObject().value("path") != QLatin1String("mode")) continue;
    for (const QJsonValue& c : p.toObject().value("choices").toArray())
      every.merge(discovery_configs(unit, {{"mode", c.toObject().value("word")}}, resolutions));
  }
  std::vector<QString> topics;
  for (const auto& entry : every) topics.push_back(entry.first);
  return topics;
}

}  // namespace quadrel::hub

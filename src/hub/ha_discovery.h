// Home Assistant's MQTT discovery for one unit: a config per entity, made
// from the parameters the hub serves (their captions, choices and paths) and
// the device's state, so that a Corvane shows up with its controls.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <map>
#include <string>
#include <vector>

namespace quadrel::hub {

struct DiscoveryUnit {
  QString id;         // the unit's name in topics: "stage"
  QString base;       // its topics' prefix: "quadrel/stage"
  QString ha_prefix;  // "homeassistant"
  QString panel_url;  // the hub's web panel
  QString version;    // the hub's
};

// Each config's topic and payload ("homeassistant/select/quadrel_stage/mode/config"):
// a select for the mode, one for each output of the mode `state` is in (its
// options the inputs with their labels, "3 · PC"), one for the resolution
// (the names the mode serves); switches for power, the key lock, the audio
// and the labels shown; a button per preset recall; sensors for the firmware
// and the link's state. Values come from `<base>/state` with a value
// template, settings go to `<base>/set` as partial state documents, and the
// recalls to `<base>/send` as the device's lines.
std::map<QString, QByteArray> discovery_configs(const DiscoveryUnit& unit, const QJsonObject& state,
                                                const std::vector<std::string>& resolutions);

// Every config topic the unit may have, whatever its mode: what is removed
// when discovery is turned off.
std::vector<QString> all_discovery_topics(const DiscoveryUnit& unit, const std::vector<std::string>& resolutions);

}  // namespace quadrel::hub

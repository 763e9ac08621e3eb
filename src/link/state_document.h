// The device state as a document: the words for its values, JSON both ways, and readable text.
#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "link/core/device_state.h"

namespace quadrel {

// A setting's values and the words that stand for them on the command line
// and in the JSON (the first word of each entry is the one printed).
struct Names {
  int first = 0;                        // the value of the first entry
  std::vector<std::vector<QString>> words;
  std::vector<QString> captions;        // as the panel shows them

  // The value a word stands for (case-insensitive; a value's own number is
  // accepted too), or nothing.
  std::optional<int> value_of(const QString& word) const;
  QString word(int value) const;     // "" for a value out of range
  QString caption(int value) const;  // "" for a value out of range
  QString choices() const;           // "matrix|dual-pop|..."
};

const Names& mode_names();        // 1..5
const Names& aspect_names();      // 0..4
const Names& edid_names();        // 0..4
const Names& corner_names();      // 0..3
const Names& size_names();        // 0..3
const Names& hdcp_in_names();     // 0 on, 1 off
const Names& hdcp_out_names();    // 0 follow input, 1 follow output
const Names& picture_names();     // 0 brightness .. 3 saturation
const Names& key_names();         // 0 menu .. 6 right

// Output letters A..D for channels 1..4 (and back; nothing for another word).
QString output_letter(int channel);
std::optional<int> output_of(const QString& word);

// The settings' values of one picture, in the order of picture_names().
std::optional<int>& picture_field(PictureValues& values, int which);
const std::optional<int>& picture_field(const PictureValues& values, int which);

// The whole state as one JSON object with stable keys; values not read are
// null. `resolutions` names the resolution numbers (position + 1).
QJsonObject to_json(const DeviceState& state, const std::vector<std::string>& resolutions);
// The state a JSON object describes; keys that are missing or null stay
// unknown. On a value the client cannot read, returns nothing and says which in `error`.
std::optional<DeviceState> from_json(const QJsonObject& object, QString* error);

// The state as readable lines.
QString to_text(const DeviceState& state, const std::vector<std::string>& resolutions);

}  // namespace quadrel

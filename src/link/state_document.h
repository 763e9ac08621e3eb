// The device state as a document: the words for its values, its fields, JSON both ways, and readable text.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/core/device_state.h"
#include "link/core/parameters.h"

namespace quadrel {

// A parameter's values and the words that stand for them on the command
// line and in the JSON (the first word of each entry is the one printed), as
// its row of the table has them.
struct Names {
  int first = 0;                        // the value of the first entry
  std::vector<std::vector<QString>> words;
  std::vector<QString> captions;        // as the panel shows them

  // The value a word stands for (case-insensitive; a value's own number is
  // accepted too), or nothing.
  std::optional<int> value_of(const QString& word) const;
  // The same for a word exactly as it is spelt, no number (as a document spells its values).
  std::optional<int> value_of_word(const QString& word) const;
  QString word(int value) const;     // "" for a value out of range
  QString caption(int value) const;  // "" for a value out of range
  QString choices() const;           // "matrix|dual-pop|..."
};

// The words of a row of the table.
const Names& names_of(const Parameter& row);

// A part of the document as a title: "Key lock", "HDCP", "PiP".
QString part_title(const QString& part);

// Output letters A..D for channels 1..4 (and back; nothing for another word).
QString output_letter(int channel);
std::optional<int> output_of(const QString& word);

// The settings' values of one picture, 0 brightness .. 3 saturation.
std::optional<int>& picture_field(PictureValues& values, int which);
const std::optional<int>& picture_field(const PictureValues& values, int which);

// --- the document ------------------------------------------------------------
//
// One JSON object of one shape whatever the device's mode: every field is
// there, null where the device has not reported it or its mode has none (the
// whole picture "picture.all" is the Matrix mode's, "picture.A".."D" the other
// modes'; PiP is read in Dual PiP only). Values are spelled with the words of
// the client's commands.

// The version of the document's shape, its "schema" field.
inline constexpr int kDocumentSchema = 1;
// The largest document read, in bytes.
inline constexpr qsizetype kMaxDocumentBytes = qsizetype{1} << 20;
// A label: at most this many printable ASCII characters.
inline constexpr int kLabelMax = 12;

// One value of the document, of a row of the parameter table.
struct Field {
  enum class Kind {
    Integer,  // a whole number from `lo` to `hi`
    Word,     // one of `names`
    Flag,     // true or false
    Label,    // an input label: at most 12 printable ASCII characters
    Text,     // text the device reports (read-only)
  };

  QString path;  // "bezel.h", "routing.B", "labels.text.1"
  Kind kind = Kind::Integer;
  int lo = 0, hi = 0;
  const Names* names = nullptr;
  bool read_only = false;  // reported, never set: versions, limits, names, addresses
  // The parameter it is a value of (none for the resolution's name), which
  // of its channels (0: the whole picture of the Matrix mode), and whether it
  // is the parameter's upper limit.
  const Parameter* row = nullptr;
  int channel = 1;
  bool limit = false;
  // The value as the document shows it (null: not known, or not in this mode).
  std::function<QJsonValue(const DeviceState&, const std::vector<std::string>& resolutions)> get;

  // A document's value read as this field's, in its printed spelling (a
  // word's first spelling); an undefined value and the reason when it is not one.
  QJsonValue read(const QJsonValue& value, QString* why) const;
  // "matrix", "3", "\"Stage Left\"", "?" for null: a value as messages show it.
  QString text(const QJsonValue& value) const;
  // Whether the device has this value in `mode` (1..5; the picture of a
  // mode, PiP in Dual PiP): elsewhere the document shows null.
  bool exists_in(int mode) const;
};

// Every field, in the document's order.
const std::vector<Field>& document_fields();
// The field at `path`, or nullptr.
const Field* document_field(const QString& path);
// The field of a row's channel (of its limit), or nullptr.
const Field* document_field(const Parameter& row, int channel = 1, bool limit = false);

// The parameters as the web panel and other clients choose values:
// {"parameters": [{"code", "path", "caption", "kind", "min", "max", "choices":
// [{"value", "word", "caption"}], "modes", "settable", "paths", "query",
// "commands"}]}. The modes' choices name their outputs, picture rows and
// dual audio sources as the panel does; the resolution's are `resolutions`
// (number 1 first), each with the modes that serve it; an event (a preset,
// a reset, a menu key, a swap) lists the line of each of its values.
QJsonObject parameters_description(const std::vector<std::string>& resolutions = {});

// Where the link to the device stands, as the documents a hub serves show it:
// {"state": "up" | "connecting" | "down", "since": RFC 3339 UTC time with
// milliseconds, "reason": the last reason or null, "target": "tcp 10.0.0.5:23"}.
// `up`: open, and the model read since it opened; `connecting`: opening, or
// open and being read; `down`: closed, tried again.
struct LinkStatus {
  enum class State { Up, Connecting, Down };
  State state = State::Connecting;
  QDateTime since;
  QString reason;
  QString target;

  QJsonObject to_json() const;
};
// The document's key that holds it: read-only, ignored by read_wanted().
inline constexpr char kLinkKey[] = "link";

// The whole state as one document. `resolutions` names the resolution
// numbers (position + 1). IP addresses are shown without zero padding.
QJsonObject to_json(const DeviceState& state, const std::vector<std::string>& resolutions);

// A partial document: "schema" and the fields at `paths` (or below them:
// "routing" is routing.A to routing.D), as to_json() shows them.
QJsonObject partial_document(const DeviceState& state, const QStringList& paths,
                             const std::vector<std::string>& resolutions);

// The same of a document as to_json() shows a state (a hub's, say).
QJsonObject partial_document(const QJsonObject& document, const QStringList& paths);
// The value at a path of a document ("bezel.h"); null when it has none.
QJsonValue value_at(const QJsonObject& document, const QString& path);

// What is wrong at one place of a document: its JSON path ("routing.E"; empty
// for the document as a whole) and why.
struct DocumentError {
  QString path;
  QString message;
  QString text() const { return path.isEmpty() ? message : path + ": " + message; }
};

// A (partial) document's settable values, read strictly: each field it gives
// a value (not null) with that value in its printed spelling, in the
// document's order. Read-only fields are checked and left out.
struct WantedState {
  std::vector<std::pair<const Field*, QJsonValue>> values;

  bool empty() const { return values.empty(); }
  // The wanted value at `path`, or an undefined value.
  QJsonValue value(const QString& path) const;
};

// The bytes of a document as a JSON object. Nothing, with the reason, for
// more than kMaxDocumentBytes, text that is no JSON or JSON that is no object.
std::optional<QJsonObject> parse_document(const QByteArray& bytes, QString* error);

// Reads a document strictly: every key must be one of the document's (a
// misspelt one is named, with the key it resembles), every value in its
// range, labels as the label command takes them, "schema" 1 when given. All
// problems are listed, each by its JSON path; nothing is returned when there
// is one. A document that asks for no value at all is refused too.
std::optional<WantedState> read_wanted(const QJsonObject& document, std::vector<DocumentError>* errors);

// The state as readable lines.
QString to_text(const DeviceState& state, const std::vector<std::string>& resolutions);
// The same of a document as to_json() shows a state.
QString to_text(const QJsonObject& document);

// An IP address as the device spells it ("192.168.001.010") without the zero
// padding ("192.168.1.10"); other text as it is.
QString plain_address(const std::string& address);

}  // namespace quadrel

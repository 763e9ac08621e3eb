// The command sequences the panel sends for its query chains, as the device receives them.
#pragma once

#include <QString>
#include <QStringList>

namespace quadrel::test {

// The queries of a full refresh up to the routing map, for a device in `mode` (1..5).
inline QStringList settings_queries(int mode) {
  QStringList q{"VER999", "VR2999", "AUA999", "AUB999", "AUD999", "AUE999", "AUQ999",
                "BEH999", "BEV999", "BEZ999", "BEH998", "BEV998", "LCK999", "PWR999",
                "RES999", "MOD999"};
  if (mode != 3) q << "OUT999";
  q << "INP999" << "ASP999";
  return q;
}

// `map_refresh`: each channel made current and asked for its input.
inline QStringList map_queries() {
  return {"OUT001", "INP999", "OUT002", "INP999", "OUT003", "INP999", "OUT004", "INP999"};
}

// The picture refresh: the whole picture in Matrix, each channel otherwise.
inline QStringList picture_queries(int mode) {
  if (mode == 1) return {"BRI999", "CON999", "HUE999", "SAT999"};
  QStringList q;
  for (int n = 1; n <= 4; ++n)
    for (const char* code : {"BRI", "CON", "HUE", "SAT"})
      q << QLatin1String(code) + QStringLiteral("99") + QString::number(n);
  return q;
}

// What a mode change reads of the new mode (`mode`, 1..5): the routing (of
// the TV Wall: its one input), the picture, the aspect, and in Dual PiP the PiP.
inline QStringList mode_change_queries(int mode) {
  QStringList q = mode == 3 ? QStringList{"OUT001", "INP999"} : map_queries();
  q += picture_queries(mode);
  q << "ASP999";
  if (mode == 4) q << "PPO991" << "PPO992" << "PSZ991" << "PSZ992";
  return q;
}

// What a recall reads when the device is in `mode` after it: the mode, what
// the mode shows, the resolution and the audio.
inline QStringList recall_queries(int mode) {
  return QStringList{"MOD999"} + mode_change_queries(mode) +
         QStringList{"RES999", "AUA999", "AUB999", "AUD999", "AUE999", "AUQ999"};
}

// A whole refresh; the picture queries only in the advanced size.
inline QStringList refresh_commands(int mode, bool advanced) {
  QStringList q = settings_queries(mode) + map_queries();
  if (advanced) q += picture_queries(mode);
  return q;
}

}  // namespace quadrel::test

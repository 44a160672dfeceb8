#pragma once
// The window's looks, chosen by id (210 to 218) and kept in the settings
// under "ApplicationLook"; 215 when none was chosen.

#include <QString>
#include <vector>

namespace tavrin::ui {

inline constexpr int kDefaultLook = 215;
inline constexpr const char* kLookSetting = "ApplicationLook";

struct Look {
  int id;
  const char* name;
};
const std::vector<Look>& looks();

// Applies the look `id` (the default one for an unknown id) to the application.
void applyLook(int id);
// The look the settings keep, and keeping one.
int savedLook();
void saveLook(int id);

}  // namespace tavrin::ui

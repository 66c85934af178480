#include "ui/page_templates.h"

#include <array>

namespace qv {
namespace {

constexpr std::array<ControlPlacement, 5> kWelcomeControls{{
    {"control_1", {144, 167, 50, 14}},
    {"control_2", {206, 167, 50, 14}},
    {"control_1000", {87, 22, 171, 124}},
    {kPictureName, {0, 0, 79, 155}},
    {"group_box", {81, 8, 182, 147}},
}};

constexpr std::array<ControlPlacement, 6> kStartControls{{
    {"control_1", {220, 165, 50, 14}},
    {"control_2", {280, 165, 50, 14}},
    {kPictureName, {0, 0, 79, 155}},
    {"group_box", {81, 8, 249, 147}},
    {"static_hint", {86, 109, 234, 8}},
    {"control_1013", {85, 130, 240, 10}},
}};

constexpr std::array<ControlPlacement, 7> kProgressControls{{
    {"control_1012", {7, 167, 50, 14}},
    {"control_2", {206, 167, 50, 14}},
    {kPictureName, {0, 0, 78, 154}},
    {"control_1003", {84, 79, 175, 14}},
    {"control_1005", {84, 56, 176, 16}},
    {"control_1011", {79, 7, 181, 8}},
    {"control_1014", {84, 106, 168, 8}},
}};

constexpr PageTemplate kWelcome{267, 191, kWelcomeControls};
constexpr PageTemplate kStart{334, 191, kStartControls};
constexpr PageTemplate kProgress{267, 191, kProgressControls};

}  // namespace

const PageTemplate& WelcomeTemplate() {
  return kWelcome;
}
const PageTemplate& StartTemplate() {
  return kStart;
}
const PageTemplate& ProgressTemplate() {
  return kProgress;
}

}  // namespace qv

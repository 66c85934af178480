#include "ui/page_templates.h"

#include <array>

namespace qv {
namespace {

constexpr std::array<ControlPlacement, 5> kWelcomeControls{{
    {"next_button", {144, 167, 50, 14}},
    {"cancel_button", {206, 167, 50, 14}},
    {"information_text_box", {87, 22, 171, 124}},
    {kPictureName, {0, 0, 79, 155}},
    {"welcome_group", {81, 8, 182, 147}},
}};

constexpr std::array<ControlPlacement, 6> kStartControls{{
    {"start_button", {220, 165, 50, 14}},
    {"cancel_button", {280, 165, 50, 14}},
    {kPictureName, {0, 0, 79, 155}},
    {"welcome_group", {81, 8, 249, 147}},
    {"connect_hint", {86, 109, 234, 8}},
    {"continuous_mode_checkbox", {85, 130, 240, 10}},
}};

constexpr std::array<ControlPlacement, 7> kProgressControls{{
    {"other_device_button", {7, 167, 50, 14}},
    {"quit_button", {206, 167, 50, 14}},
    {kPictureName, {0, 0, 78, 154}},
    {"progress_bar", {84, 79, 175, 14}},
    {"status_text", {84, 56, 176, 16}},
    {"title_text", {79, 7, 181, 8}},
    {"next_device_prompt", {84, 106, 168, 8}},
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

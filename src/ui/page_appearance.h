#pragma once

#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QStringList>

#include "ui/dialog_units.h"
#include "ui/page_templates.h"

namespace qv {

inline constexpr const char* kPageCaption = "Updata tools V1.2";

// The pages' font: "宋体" at 10 pt, else an installed CJK font, else the system font.
[[nodiscard]] QFont PageFont();

// Makes the wizard's Qt resources available (the library is static, so the linker would
// otherwise drop them).
void EnsureUiResources();

// Frame, font, caption, icon and the template's geometry converted from dialog units with the
// page font's metrics. Returns the object names of the template's controls that the page lacks
// (a template and its .ui file out of step), which are then left unplaced.
[[nodiscard]] QStringList ApplyPageAppearance(QDialog& page, const PageTemplate& layout);
// The geometry part alone: the template's controls and the page's fixed size for the given base
// units. Returns the names of the controls the page lacks, as above.
[[nodiscard]] QStringList PlaceTemplateControls(QDialog& page, const PageTemplate& layout,
                                                const DialogBaseUnits& units);
// The same for the wizard's own pages, where a control the page lacks is a build mistake: the
// program ends with a message naming the controls.
void ApplyPageAppearanceOrAbort(QDialog& page, const PageTemplate& layout);

// Wraps a static text at its width and makes it tall enough for every wrapped line, so a text
// longer than its one-line template is not cut off. Never shrinks the control.
void FitTextHeight(QLabel& label);

}  // namespace qv

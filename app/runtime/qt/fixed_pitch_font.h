// The font behind the face "Fixedsys": one in which every character the
// program shows has the same width, as the console's columns expect.
//
// The desktop's fixed font comes first.  When it is not fixed-pitch (the
// generic "monospace" resolves to a proportional face on a machine without a
// monospaced one configured), the first fixed-pitch face of a list of common
// ones is taken at the same size; failing all of them, the desktop's fixed
// font as it is, and the program carries on.
//
// Fixed pitch is measured, not taken from QFontInfo::fixedPitch():
// fontconfig calls a face monospaced only when all its glyphs share one
// advance, and faces such as Noto Sans Mono carry zero-width combining marks,
// so they are reported proportional although their letters, digits and signs
// all have the same width.
#ifndef KVR_RUNTIME_QT_FIXED_PITCH_FONT_H
#define KVR_RUNTIME_QT_FIXED_PITCH_FONT_H

#include <QFont>

namespace kvr::runtime::qt {

QFont fixedPitchFont();

// Whether every printable ASCII character of font has the same advance.
bool hasFixedPitch(const QFont &font);

}  // namespace kvr::runtime::qt

#endif

#pragma once

#include <QIcon>

namespace zandel::ui {

// The status balls of the list, in image order: green (usable), light blue (non-anonymous), red (NG), grey (not
// yet checked), orange (tampered: another page than the one asked for). Each has a darker rim; its corners take a
// colour close to the list's background. Drawn afresh on every call: the list keeps the ones it uses.
QIcon StatusIcon(int image);

} // namespace zandel::ui

#pragma once
// Offers the hosts a tool visited last (its history section of the
// configuration file, newest first) on a host field: a button at the field's
// end, or Alt+Down in it, opens the list; choosing an entry fills the field.
// The section is read at every opening, so other windows' additions show.
#include <string>

class QLineEdit;
class QMenu;

namespace vn {

// The menu (object name "LastHostsMenu"), a child of the field.
QMenu* offerHostHistory(QLineEdit* field, std::string section);

} // namespace vn

#pragma once
// Where file dialogs start: the user's desktop folder when there is one, else the home folder.

#include <string>

namespace orlo {

std::string defaultUserFolder();

}  // namespace orlo

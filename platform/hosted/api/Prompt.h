// Questions to the user of a run: the next --answer, else the terminal, else the
// run cannot go on (status 69).
#pragma once

#include <string>

namespace hosted {

// "ok" or "cancel". `question` names the prompt in the message when nobody can answer.
std::string askOkOrCancel(const std::string& question);

}  // namespace hosted

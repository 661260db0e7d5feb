#pragma once
// Search over entry names: the state kept by the view and the step of "Search Again".
#include <functional>
#include <string>

namespace browser {

struct SearchState {
    std::string text; // lower-cased by the first search
    int position = 1; // next list index to look at; index 0 (the file) is never matched
};

// Looks for the search text in the names of entries position..count-1, case-blind.
// Found: returns the index and moves the position after it. Not found: returns -1
// and wraps the position to 1, so the next search starts over.
int searchAgain(SearchState& state, int count, const std::function<std::string(int)>& nameAt);

std::string lowerAscii(std::string s);

} // namespace browser

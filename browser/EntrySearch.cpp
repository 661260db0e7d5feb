#include "browser/EntrySearch.h"

namespace browser {

std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

int searchAgain(SearchState& state, int count, const std::function<std::string(int)>& nameAt)
{
    state.text = lowerAscii(state.text);
    // The position survives list rebuilds unadjusted; never start below the first record.
    for (int i = state.position < 1 ? 1 : state.position; i < count; ++i) {
        if (lowerAscii(nameAt(i)).find(state.text) != std::string::npos) {
            state.position = i + 1;
            return i;
        }
    }
    state.position = 1;
    return -1;
}

} // namespace browser

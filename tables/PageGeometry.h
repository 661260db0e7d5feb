#pragma once
// Grid arithmetic along one axis (columns with widths, or rows with heights):
// index 0 is the frozen header, the body is scrolled by pos so that the first
// visible body index is pos + 1. No widgets; the grid window uses these for
// both axes.
#include <QString>

#include <vector>

namespace tables::page {

// Indexes per page for the scroll bar: from the header's size, add the sizes
// of pos + 1, ... while the sum stays below the client extent and the index
// stays below max. Answers that index minus pos.
int pageSize(const std::vector<int>& sizes, int pos, int max, int clientExtent);

// The index under coordinate c: 0 for c up to the header's far edge, else the
// first body index whose far edge is at or beyond c; -1 past the last index.
int hitTest(const std::vector<int>& sizes, int pos, int c);

// Near edge of index i on screen, or -1 when it is scrolled out of sight
// (a body index at or before pos).
int startOf(const std::vector<int>& sizes, int pos, int i);

// Far edge of index i as the keys measure it: the header's size plus the
// sizes of pos + 1 ... i.
int farEdge(const std::vector<int>& sizes, int pos, int i);

// A scroll bar shows when scrolled, or when all sizes together reach the
// client extent.
bool barVisible(const std::vector<int>& sizes, int pos, int clientExtent);

// A commit of the cell editor: empty gives "0", a leading "." gets a "0" in
// front, a missing "." is appended, then "0"s until six digits follow the
// last "." (longer fractions stay).
QString formatCommit(QString text);

} // namespace tables::page

// The switch command of one row of the bcm table: its argument count, its
// device request and its report.
#pragma once

namespace zezarur::bcm {

// The fewest arguments (with the name and the two words) command `id` takes.
int argumentsNeeded(int id);

// Fills the record from argv, issues the request on fd and prints the report
// or the failure message; 0 when the request succeeded, else -1.
int perform(int id, int fd, char **argv);

}  // namespace zezarur::bcm

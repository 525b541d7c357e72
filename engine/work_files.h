#pragma once
// The files that the worker keeps in the work folder while it runs. A run that ends early (no
// connection, a cancel, a failed or declined installation) may leave some of them behind; none
// is of use to a later run, and the program removes them when it ends. A file of the work folder
// that is not named here is not the worker's to give up and stays.
#include <string>
#include <vector>

namespace mivetrak {

// The downloaded update index.
constexpr char kIndexFileName[] = "zav.tmp";

// The names of the worker's files that may be removed from the work folder once it has ended.
std::vector<std::string> DisposableWorkFiles();

}  // namespace mivetrak

// Several logs fetched at once: each goes into the history, and the last one is shown.
#pragma once
#include <string>
#include <vector>

class TForm1;

// Records every log of paths (oldest first) into the history, whatever the recording setting says:
// the user fetched them for that. The last one is analysed on the main window as LogCounting does.
// What the recording could not do is shown in one warning box afterwards.
void analyseFetched(TForm1& form, const std::vector<std::string>& paths);

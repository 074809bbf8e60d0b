#pragma once

class QWidget;

// Closes the main window as the user would when the session ends or the program is asked to
// stop (SIGTERM, SIGHUP, SIGINT): the SQL texts, the catalogue, the pane sizes and the window
// placement are stored as at a normal close. A modal box waiting for an answer nobody will
// give is closed first (as Cancel); a connect or connection test being waited for is let end
// first. Further signals do not cut the close short; only once it has made no headway for
// 10 s (the window keeps refusing, or the GUI thread does not answer) does the next one end
// the program at once. The handlers go again with the window. GUI thread.
void CloseOnTerminationSignals(QWidget* window);

#pragma once

class QWidget;

// Closes the main window as the user would when the session ends or the program is asked to
// stop (SIGTERM, SIGHUP, SIGINT): the SQL texts, the catalogue, the pane sizes and the window
// placement are stored as at a normal close. A modal box waiting for an answer nobody will
// give is closed first (as Cancel). A second signal while closing ends the program at once.
// The handlers go again with the window. GUI thread.
void CloseOnTerminationSignals(QWidget* window);

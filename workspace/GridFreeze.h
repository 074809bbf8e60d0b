#pragma once

#include <QWidget>

// Keeps the grid from repainting while a command walks the result, and repaints it after,
// also when the command fails.
class TGridFreeze {
public:
    explicit TGridFreeze(QWidget* grid)
        : m_grid(grid) {
        m_grid->setUpdatesEnabled(false);
    }
    ~TGridFreeze() {
        m_grid->setUpdatesEnabled(true);
        m_grid->update();
    }

private:
    QWidget* m_grid;
};

#pragma once

class QCoreApplication;

// Loads Qt's German texts and, on top of them, the key names the program shows in its menus
// ("Strg+", "Umsch+", "Eingabe", "Rück", "Entf").
void InstallGermanTexts(QCoreApplication& app);

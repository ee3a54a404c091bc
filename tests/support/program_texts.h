// What setup.exe shows, byte for byte, as its users see it: the tests' own copy, kept apart
// from the program's so that a changed text fails a test.
#pragma once

inline constexpr char kConfirmText[] =
    "This program will install a new additional game into Zorvane. Press the OK button to "
    "continue.";
inline constexpr char kNotFoundText[] =
    "The additional  game has not been successfuly installed. Zorvane not found. The game is not "
    "correctly installed on your computer. Download Zorvane from https://www.zorvane-games.com "
    "and install it. Then restart this program.";
inline constexpr char kSuccessText[] =
    "The additional game has been successfuly installed. Now you can start the new additional "
    "game via One Player/Additional Game in Zorvane.";
inline constexpr char kInvalidPathCaption[] = "Invalid Path";
inline constexpr char kInvalidPathText[] =
    "Setup cannot use the folder it was started from: its path cannot be read or is too "
    "long.\r\nMove the add-on's files to a folder with a shorter path and start Setup again.";

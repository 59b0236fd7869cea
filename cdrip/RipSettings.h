#pragma once

// The per-drive values the readers work with, taken from the drive's settings record
// when a ripper is opened.
struct RipSettings {
    int sectorsPerRead = 26;
    int overlapSectors = 7;
    int compareSectors = 1;
    int startOffset = 0;
    int endOffset = 0;
    int speed = 32;
    int spinUpSeconds = 0;
    int jitterCorrection = 1;
    int recoveryPasses = 0;
    int recoveryPauseMs = 3000;
    int paranoiaLevel = 0;
};

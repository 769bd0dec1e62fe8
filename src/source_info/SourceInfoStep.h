// The first step of the start-up sequence: the install-source note is
// recorded in the registry. Nothing in it can stop the run or show anything:
// every failure is silent and every exception is dropped here.
#pragma once

void RunSourceInfoStep();

#include "module_texts.h"

#include "vexlo_version.h"

const char kModuleName[] = "VEXLO";
const char kModuleIdentifier[] = "QAV VEXLO";

// Lines end in one blank and a line feed; paragraphs are separated by an empty line. The title line
// names the release this build makes.
const char kModuleAbout[] =
    "VEXLO v." VEXLO_VERSION_TEXT
    " \n"
    "by the VEXLO developers \n"
    "released 8 December 2026 \n"
    "\n"
    "Free to use in any patch, commercial or not. \n"
    "Redistribute only unchanged, with this text. \n"
    "\n"
    "For a plain oscillator, see the host's own oscillator module. \n"
    "\n"
    "Generates an LFO with a choice of sine, triangle and square waves. \n"
    "The FREQ input can itself be modulated, for example by another VEXLO, without zippering, \n"
    "and so can the PHASE input. \n"
    "Feed a note frequency to one VEXLO and a multiple of it to a second VEXLO that drives \n"
    "the FREQ or PHASE input of the first, and you have an FM or PM synthesiser. \n"
    "Used that way it is hardly a low-frequency oscillator any more. \n"
    "\n"
    "Tremolo: set OFFSET 1, DEPTH 1 and FREQ between 0.1 and 10 Hz, and apply the output \n"
    "to the gain of an audio signal, or feed the audio signal into the optional IN pin. \n"
    "\n"
    "Stereo chorus or flanger: let two VEXLOs drive two delay modules, with OFFSET as the \n"
    "delay and DEPTH as the delay variation, and a different PHASE on each VEXLO. Mix each \n"
    "delay output with the signal to give the left and the right channel. \n"
    "\n"
    "If DEPTH SCALE=relative then a value of 1 equals the offset \n";

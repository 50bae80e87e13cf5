// Fourier's InstanceData: one 16-bit word, the transfer curve's handle.
#ifndef VORTIGEN_FOURIER_FOURIER_WORDS_H
#define VORTIGEN_FOURIER_FOURIER_WORDS_H

enum FourierWord { transferWord = 0 };

#endif

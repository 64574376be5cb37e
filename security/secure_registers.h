#pragma once
// Secrets pass through the processor's vector registers (string functions,
// comparisons and copies use them), and a register is saved to the stack
// whenever the process is interrupted by a signal or the dynamic linker
// binds a function lazily: a copy of the secret on the stack that nothing
// wipes. Callers clear the registers once they are done with a secret.

namespace security {

// Zeroes every vector register the processor has (x86-64: xmm/ymm 0-15 and,
// with AVX-512, zmm 16-31); elsewhere it does nothing.
void SecureWipeVectorRegisters() noexcept;

}  // namespace security

#pragma once

namespace imvora {

// How the filters run their pixel loops. Plain is the straightforward loop of each algorithm,
// one byte and one tap at a time, kept in the product as the proof of the others; SSE2 (two
// doubles, sixteen bytes) runs everywhere, AVX2 (four doubles, thirty-two bytes) where the
// processor has it. All give the same bytes.
enum class TLaneWidth { Plain, Sse2, Avx2 };

// The widest lanes the processor offers.
TLaneWidth WidestLanes();

// The lanes the filters use; the widest unless chosen otherwise.
void SetLaneWidth(TLaneWidth lanes);
TLaneWidth LaneWidth();

}  // namespace imvora

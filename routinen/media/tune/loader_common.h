// Helpers shared by the four module loaders.
#pragma once
#include <cstdint>
#include <vector>

#include "genplayer.h"

// Zeroed block through MemAlloc.
int32_t AllocZero(uint32_t bytes, void** block);
int32_t NewModule(ModuleRecord** module);
// Pattern record from packed rows.
int32_t MakePattern(const std::vector<uint8_t>& packed, uint32_t rows, PatternRecord** pattern);
// Appends one packed entry when it carries something; note/instrument 255 = none, vol < 0 none.
void PackEntry(std::vector<uint8_t>& out, uint32_t channel, uint8_t note, uint8_t instrument,
               int32_t volume, uint8_t command, uint8_t info);
// Hands sample data (in the sample's own format) to the device, or keeps a
// copy in the record when samples are not added; then the callback.
int32_t HandSample(SampleRecord* sample, const uint8_t* data, int32_t addSamples, SampleCallback cb);
// Instrument i of a one-sample format (MOD, S3M), named from `name`; when a
// pattern uses it, also its only sample record (same name) in m->samples[i].
// *sample is null for an unused instrument.
int32_t NewSampleInstrument(ModuleRecord* m, uint32_t i, const uint8_t* name, uint32_t nameLength,
                            bool used, SampleRecord** sample);
// Copies at most n characters of text into a 32-byte name.
void CopyName(char* dst, const uint8_t* src, uint32_t n);
// A loader's failure: frees the module and returns code.
int32_t LoaderFail(ModuleRecord* module, int32_t code);

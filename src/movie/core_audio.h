// Sound through Core Audio's terms: wrappers of the standard audio compression component's properties, of
// movie audio extraction, of audio files and of sound descriptions, and on them two whole operations:
// copying a movie's sound into a new sound track of another movie as uncompressed PCM, and compressing it
// on the way with settings from an atom container. (The exporters' high-resolution audio switch,
// CA_EnableHighResolutionAudio, is with the export settings.)
//
// Every function returns the first failing call's error. Buffers and layouts a function allocates come
// from malloc and belong to the caller, who frees them with free(). The whole operations change the target
// movie: main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/movie/atom_container.h"
#include "platform/movie/audio_files.h"
#include "platform/movie/components.h"
#include "platform/movie/core_audio_types.h"
#include "platform/movie/movie_audio_extraction.h"
#include "platform/movie/movie_types.h"
#include "platform/movie/standard_audio_compression.h"

// Called with the fraction done (0 to 1) and the caller's refcon; a non-zero answer stops the operation,
// which then returns it.
typedef OSStatus (*CA_ProgressProcPtr)(float fractionDone, void *refcon);

// What the input procedure feeding the compressor from the extraction keeps.
struct CA_InputProcData {
  Boolean extrCompl;                  // the extraction has delivered its last frames
  MovieAudioExtractionRef mae;        // borrowed
  AudioStreamBasicDescription asbd;   // of the extracted PCM
  void **inputBuffers;                // owned: one per buffer of the format (malloc)
  UInt32 inBufferSize;                // bytes of each input buffer
  UInt32 numInputBuffers;
};

// ---- Standard audio compression ----

// Opens the standard audio compression component (owned: CloseComponent).
OSStatus CA_GetA_SCAudioCompInst(ComponentInstance *stdAudio);
// Sets the extended procedures with the custom name `title`, then asks for the settings dialog, which this
// platform does not have: badComponentSelector.
OSStatus CA_SCAudioRequestSettings(ComponentInstance audioCi, CFStringRef title);
// Restricts the output layouts to the standard tags up to 8 channels, the discrete layout of the input's
// channel count and, when allowed, any layout passed through (96 bytes, 92 without).
OSStatus CA_RestrictSCAudioChannelLayoutTagList(ComponentInstance audioCi, UInt32 numDiscreteInputChannels,
                                                Boolean allowCustomChannelLayoutPassthru);
// Appends the pass-through tag to the current restriction list when it is not in it.
OSStatus CA_AddChannelLayoutPassthruToRestrictList(ComponentInstance audioCi);
OSStatus CA_GetSCAudioRequiresPackets(ComponentInstance audioCi, Boolean *requiresPackets);
OSStatus CA_SetSCAudioInputSoundDescription(ComponentInstance audioCi, SoundDescriptionHandle inSndDesc);
// The compressor's output sound description (owned: DisposeHandle).
OSStatus CA_GetSCAudioSoundDescription(ComponentInstance audioCi, SoundDescriptionHandle *outSndDesc);
OSStatus CA_GetSCAudioMaxOutPacketSize(ComponentInstance audioCi, UInt32 *maxOutPacketSize);
// Restricts linear PCM output to interleaved (value 0) or non-interleaved (value 32) samples, mask 32.
OSStatus CA_SetSCAudioFormatInterleaved(ComponentInstance audioCi, Boolean interleaved);
OSStatus CA_SetSCAudioRestrictedFormat(ComponentInstance audioCi, AudioFormatID format);
OSStatus CA_GetSCAudioRenderQuality(ComponentInstance audioCi, UInt32 *renderQuality);
// *layout a new block (owned: free) of *layoutSize bytes.
OSStatus CA_GetSCAudioOutChannelLayout(ComponentInstance audioCi, AudioChannelLayout **layout, UInt32 *layoutSize);
OSStatus CA_SetSCAudioInChannelLayout(ComponentInstance audioCi, const AudioChannelLayout *layout, UInt32 layoutSize);
// *magicCookie a new block (owned: free) of *magicCookieSize bytes; NULL and 0 when there is none.
OSStatus CA_GetSCAudioMagicCookie(ComponentInstance audioCi, void **magicCookie, UInt32 *magicCookieSize);
OSStatus CA_SetSCAudioInputMagicCookie(ComponentInstance audioCi, const void *magicCookie, UInt32 magicCookieSize);
// Cleared first.
OSStatus CA_GetSCAudioOutAbsd(ComponentInstance audioCi, AudioStreamBasicDescription *asbd);
OSStatus CA_SetSCAudioInAbsd(ComponentInstance audioCi, const AudioStreamBasicDescription *asbd);
// The codec settings (retained: CFRelease) when the property can be read, else NULL and noErr.
OSStatus CA_GetSCAudioCdecSett(ComponentInstance audioCi, CFDataRef *codecSpecificSett);
// The codec settings, then the magic cookie, as the two getters above.
OSStatus CA_GetSCAudioSettings(ComponentInstance stdAudio, CFDataRef *codecSpecificSett, void **magicCookie,
                               UInt32 *magicCookieSize);

// ---- Movie audio extraction ----

OSStatus CA_SetAudioExtrRenderQuality(MovieAudioExtractionRef mae, UInt32 renderQuality);
OSStatus CA_SetAudioExtrAllChannelsDiscrete(MovieAudioExtractionRef mae, Boolean allChansDiscrete);
// *layout a new zeroed block (owned: free) of *layoutSize bytes.
OSStatus CA_GetAudioExtrChannelLayout(MovieAudioExtractionRef mae, AudioChannelLayout **layout, UInt32 *layoutSize);
OSStatus CA_GetAudioExtrAsbd(MovieAudioExtractionRef mae, AudioStreamBasicDescription *asbd);
OSStatus CA_SetAudioExtrAsbd(MovieAudioExtractionRef mae, const AudioStreamBasicDescription *asbd);
OSStatus CA_GetAudioExtrMaxSampleSize(MovieAudioExtractionRef mae, UInt32 *maxSampleSize);
// The position: round(movie time scale x seconds) in the movie's time scale.
OSStatus CA_SetAudioExtrCurrentTime(Movie movie, MovieAudioExtractionRef mae, Float64 timeInSec);
// Packed signed 16-bit integers in native order, interleaved, keeping the rate and channels.
OSStatus CA_SetAudioExtrNativeInterleaved16bit(MovieAudioExtractionRef mae);
// The channel count with every channel of every track discrete (the setting is restored afterwards).
OSStatus CA_GetAudioExtrNumDiscrInputChnls(MovieAudioExtractionRef mae, UInt32 *numDiscrInputChanls);
// Fills a new buffer (owned: free) of *numFrames x 4 bytes from an extraction of interleaved 16-bit stereo;
// *numFrames gets the frames delivered and *extrComplete whether the extraction is complete.
OSStatus CA_AudioExtrGetSomeNativeInterleaved16bitStereoSamples(MovieAudioExtractionRef mae, UInt32 *numFrames,
                                                                 void **buffer, Boolean *extrComplete);
// True when the layout has exactly two channel descriptions, both mono.
Boolean CA_LayoutIsDualMono(const AudioChannelLayout *layout);
// The format of sample description 1 of the movie's first sound track; noSoundTrackInMovieErr without one.
OSStatus CA_GetSoundMovieAsbd(Movie soundMovie, AudioStreamBasicDescription *asbd);
// Begins the extraction of the movie's mix (owned: MovieAudioExtractionEnd) in interleaved signed integers of
// the tracks' largest sample size (interleaved 32-bit floats beyond 32 bits); *inAsbd gets the format and
// *inLayout a new block (owned: free) of *layoutSize bytes with the channel layout.
OSStatus CA_MovieAudioExtractionBegin(Movie srcMovie, MovieAudioExtractionRef *mae, AudioStreamBasicDescription *inAsbd,
                                      UInt32 *layoutSize, AudioChannelLayout **inLayout);
// A new sound track (volume 256) with 'soun' media of time scale the sample rate (truncated) in the target
// movie's own file, and its sound description (owned: DisposeHandle) made from the format (lowest possible
// version), the layout and, when both are given, the magic cookie.
OSStatus CA_AddSoundTrackToMovie(Movie trgtMovie, const AudioStreamBasicDescription *asbd, UInt32 layoutSize,
                                 const AudioChannelLayout *layout, UInt32 cookieSize, const void *magicCookie,
                                 Track *track, Media *media, SoundDescriptionHandle *sndDesc);

// ---- Audio files ----

OSStatus CA_GetAudioFilePacketCount(AudioFileID audioFile, UInt64 *packetCount);
OSStatus CA_GetAudioFileMaxPacketSize(AudioFileID audioFile, UInt32 *maxPacketSize);
OSStatus CA_GetAudioFileAbsd(AudioFileID audioFile, AudioStreamBasicDescription *asbd);
// *layout a new block (owned: free; freed again on failure) of *layoutSize bytes.
OSStatus CA_GetAudioFileChannelLayout(AudioFileID audioFile, AudioChannelLayout **layout, UInt32 *layoutSize);
OSStatus CA_SetAudioFileChannelLayout(AudioFileID audioFile, const AudioChannelLayout *layout, UInt32 layoutSize);
// *magicCookie as the layout; NULL and 0 when the file has none.
OSStatus CA_GetAudioFileMagicCookie(AudioFileID audioFile, void **magicCookie, UInt32 *magicCookieSize);
OSStatus CA_SetAudioFileMagicCookie(AudioFileID audioFile, const void *magicCookie, UInt32 magicCookieSize);

// ---- Sound descriptions ----

// Cleared first.
OSStatus CA_GetSndDescAsbd(SoundDescriptionHandle sndDesc, AudioStreamBasicDescription *asbd);
OSStatus CA_SetSndDescLayout(SoundDescriptionHandle sndDesc, const AudioChannelLayout *layout, UInt32 layoutSize);
// Copies the layout into the caller's buffer of layoutSize bytes.
OSStatus CA_GetSndDescLayout(SoundDescriptionHandle sndDesc, AudioChannelLayout *layout, UInt32 layoutSize);
OSStatus CA_GetSndDescLayoutSize(SoundDescriptionHandle sndDesc, UInt32 *layoutSize);
OSStatus CA_SetSndDescMagicCookie(SoundDescriptionHandle sndDesc, const void *magicCookie, UInt32 magicCookieSize);

// ---- Whole operations ----

// Copies the movie's mix into a new sound track of the target movie as uncompressed PCM, in fills of 5
// seconds, reporting the fraction of packets done. On failure or a stop the new track is removed again.
OSStatus CA_ExtractAudioFromMovieToMovie(Movie srcMovie, Movie trgtMovie, CA_ProgressProcPtr progrProc,
                                         void *progrRefcon);
// Compresses the movie's mix with the standard audio compression component, loaded with soundExportSett when
// given (SCSetSettingsFromAtomContainer), into a new sound track of the target movie. The track shows the
// source's duration from the codec's first real frame on (the priming frames are in the media but not
// shown). On failure or a stop the new track is removed again.
OSStatus CA_CompressSoundFromMovieToMovie(Movie srcMovie, QTAtomContainer soundExportSett, Movie trgtMovie,
                                          CA_ProgressProcPtr progrProc, void *progrRefcon);
// Pulls everything through the compressor into the media in fills of 5 seconds of output.
OSStatus CA_SCAudioCompressToMedia(ComponentInstance stdAudio, SCAudioInputDataProc inInputProc,
                                   CA_InputProcData *ipData, Media media, SoundDescriptionHandle sndDesc,
                                   Float64 srcMovieDurationInSec, CA_ProgressProcPtr progrProc, void *progrRefcon);
// The output buffers of one fill: *abl (owned: free, and free its first buffer's data, the block) with one
// buffer per channel for non-interleaved output, else one; *aspds (owned: free) when the compressor needs
// packet descriptions, else NULL; *numPackets the packets per fill; *outAsbd the output format.
OSStatus CA_CreateOutBufferList(ComponentInstance stdAudio, UInt32 *numPackets, AudioBufferList **abl,
                                AudioStreamBasicDescription *outAsbd, AudioStreamPacketDescription **aspds);
// Adds the fill's packets to the media: without descriptions as one run of frames x packets samples of
// duration 1 (nothing for 0), with them one sample per packet lasting its frames.
OSStatus CA_AddSamplesToMedia(Media media, SoundDescriptionHandle sndDesc, UInt32 numPackets, AudioBufferList *abl,
                              const AudioStreamBasicDescription *outAsbd, AudioStreamPacketDescription *aspds);
// The compressor's input procedure (refCon: a CA_InputProcData): fills from the extraction into buffers it
// lends when the compressor offers none.
OSStatus CA_SCAudioInputDataProcFromMovie(ComponentInstance ci, UInt32 *ioNumberDataPackets, AudioBufferList *ioData,
                                          AudioStreamPacketDescription **outDataPacketDesc, void *refCon);
// (Re)makes the input buffers for pullPackets frames: one per buffer of the format.
OSStatus CA_CreateInputBuffers(CA_InputProcData *ipData, UInt32 pullPackets);

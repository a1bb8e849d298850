# Checks the engine's stack against its budget: a frame may use fixed scratch on the
# stack of at most 16 KiB beyond its histogram (1 KiB) and its copy of the table (1 KiB,
# where it makes one), down its deepest chain of calls. The frames come from GCC's -fstack-usage files of the engine's
# objects. A chain is an entry function with the band function it calls, and the
# dearest pixel pass (or the pass between side strips, which is called without bands);
# a vector pass counts as all of its file's functions together
# that serve its kind (one table, or a table per channel), which is more than any chain
# through them takes. A compiler's copy of a function (a clone for one caller, say)
# shows as a function of its own, and so counts.
# Usage: cmake -DSU_DIR=<directory of the engine's .su files> -P check_stack_budget.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT SU_DIR)
  message(FATAL_ERROR "SU_DIR not given")
endif()
set(scratch_budget 16384)

# Sets <prefix>_names and <prefix>_bytes: each function of the .su files and its frame.
function(read_frames files prefix)
  set(lines "")
  foreach(file IN LISTS files)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "${file} is missing: is the engine built with -fstack-usage?")
    endif()
    file(STRINGS ${file} more)
    list(APPEND lines ${more})
  endforeach()
  set(names "")
  set(bytes "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[^\t]*:[0-9]+:[0-9]+:([^\t]*)\t([0-9]+)\t")
      message(FATAL_ERROR "${file}: a line not understood: ${line}")
    endif()
    list(APPEND names "${CMAKE_MATCH_1}")
    list(APPEND bytes "${CMAKE_MATCH_2}")
  endforeach()
  set(${prefix}_names "${names}" PARENT_SCOPE)
  set(${prefix}_bytes "${bytes}" PARENT_SCOPE)
endfunction()

# The frames of the functions whose names hold `part`, summed into <out>; it is an
# error if none does.
function(frames_of prefix part out)
  set(sum 0)
  set(found FALSE)
  list(LENGTH ${prefix}_names n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE ${last})
    list(GET ${prefix}_names ${i} name)
    string(FIND "${name}" "${part}" at)
    if(NOT at EQUAL -1)
      list(GET ${prefix}_bytes ${i} b)
      math(EXPR sum "${sum} + ${b}")
      set(found TRUE)
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "no function holding '${part}' in the stack usage: the check needs updating")
  endif()
  set(${out} ${sum} PARENT_SCOPE)
endfunction()

# The largest frame of each function, summed into <out>; the instances of one template
# are one function (a call takes one of them). An optional fourth argument: a pattern
# of the functions (and instances) left out.
function(all_frames prefix out)
  set(seen "")
  set(largest "")
  list(LENGTH ${prefix}_names n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE ${last})
    list(GET ${prefix}_names ${i} name)
    list(GET ${prefix}_bytes ${i} b)
    if(ARGC GREATER 2 AND name MATCHES "${ARGV2}")
      continue()
    endif()
    string(REGEX REPLACE " \\[with [^]]*\\]$" "" name "${name}")
    string(MD5 key "${name}")
    list(FIND seen ${key} at)
    if(at EQUAL -1)
      list(APPEND seen ${key})
      list(APPEND largest ${b})
    else()
      list(GET largest ${at} old)
      if(b GREATER old)
        list(REMOVE_AT largest ${at})
        list(INSERT largest ${at} ${b})
      endif()
    endif()
  endforeach()
  set(sum 0)
  foreach(b IN LISTS largest)
    math(EXPR sum "${sum} + ${b}")
  endforeach()
  set(${out} ${sum} PARENT_SCOPE)
endfunction()

# The record's frame with the kernels' choice, bands, references and portable passes;
# each vector pass; and the extras.
read_frames("${SU_DIR}/frame_levelling.cpp.su;${SU_DIR}/kernels/kernels.cpp.su;${SU_DIR}/kernels/reference.cpp.su;${SU_DIR}/kernels/portable.cpp.su" frame)
read_frames(${SU_DIR}/kernels/x86/avx2.cpp.su avx2)
read_frames(${SU_DIR}/kernels/x86/avx512.cpp.su avx512)
# Of the extras, the frame's own functions: those that call the passes. The cut test,
# the following, the channels' detection, the strength and the margins' geometry run
# before or after a pass, never beneath one.
read_frames(${SU_DIR}/extras/frame.cpp.su extended)

# The vector files' functions of one kind only: those for a table per channel, and
# those for one table (named for it, or instances for one table).
set(per_channel "kTables = 3|TableSet<3>|<3>|Channels")
set(one_table "kTables = 1|TableSet<1>|Map = Stretch<1>|Map = Lookup<1>|Shared|mapAndCountAvx|mapAvx|mapAndCountBetween")
all_frames(avx2 pass_avx2 "${per_channel}")
all_frames(avx512 pass_avx512 "${per_channel}")
# Only the extras' frame calls the passes between side strips: priming and the
# alpha-keeping frame go through the rest.
all_frames(avx2 framepass_avx2 "${per_channel}|Between")
all_frames(avx512 framepass_avx512 "${per_channel}|Between")
frames_of(frame "mapAndCountPortable" pass_portable)
frames_of(frame "mapAndCountReference" pass_plain)
all_frames(avx2 channel_pass_avx2 "${one_table}")
all_frames(avx512 channel_pass_avx512 "${one_table}")
frames_of(frame "mapAndCountChannelsPortable" channel_pass_portable)
frames_of(frame "mapAndCountChannelsReference" channel_pass_plain)
set(frame_pass ${pass_portable})
foreach(p ${pass_plain} ${framepass_avx2} ${framepass_avx512})
  if(p GREATER frame_pass)
    set(frame_pass ${p})
  endif()
endforeach()
set(pass 0)
set(pass_name "")
set(channel_pass 0)
set(channel_pass_name "")
foreach(name plain portable avx2 avx512)
  if(pass_${name} GREATER pass)
    set(pass ${pass_${name}})
    set(pass_name ${name})
  endif()
  if(channel_pass_${name} GREATER channel_pass)
    set(channel_pass ${channel_pass_${name}})
    set(channel_pass_name ${name})
  endif()
endforeach()

# Priming, and the alpha-keeping frame that puts alpha back band by band, through the
# one function that takes the pass to level with.
frames_of(frame "primeFromFrame" priming)
frames_of(frame "countFrame" counting)
frames_of(frame "levelFrameKeepingAlpha" keeping_alpha)
frames_of(frame "PixelPass," level_with)
frames_of(frame "mapAndCountPuttingAlphaBack" alpha_bands)
math(EXPR chain_priming "${priming} + ${counting} + ${frame_pass}")
math(EXPR chain_alpha "${keeping_alpha} + ${level_with} + ${alpha_bands} + ${frame_pass}")
# The extras' frame (all of its file's functions together) counting alone, counting
# each channel alone or putting alpha back band by band, whichever takes more, through
# the pass or the pass with a table per channel, whichever takes more.
all_frames(extended extended_all)
frames_of(frame "countChannels" counting_channels)
set(extended_bands ${counting})
foreach(bands ${counting_channels} ${alpha_bands})
  if(bands GREATER extended_bands)
    set(extended_bands ${bands})
  endif()
endforeach()
set(extended_pass ${pass})
if(channel_pass GREATER pass)
  set(extended_pass ${channel_pass})
endif()
math(EXPR chain_extended "${extended_all} + ${extended_bands} + ${extended_pass}")
# With margins it calls the pass between strips through its dispatcher, no band between:
# the portable one, or a vector file's functions of one kind as above.
frames_of(frame "mapAndCountBetween(" between_dispatch)
frames_of(frame "mapAndCountChannelsBetween(" channel_between_dispatch)
frames_of(frame "mapAndCountBetweenPortable" between_portable)
frames_of(frame "mapAndCountChannelsBetweenPortable" channel_between_portable)
set(between_pass 0)
foreach(bytes ${between_portable} ${channel_between_portable} ${pass_avx2} ${pass_avx512} ${channel_pass_avx2}
        ${channel_pass_avx512})
  if(bytes GREATER between_pass)
    set(between_pass ${bytes})
  endif()
endforeach()
set(between_dispatch_largest ${between_dispatch})
if(channel_between_dispatch GREATER between_dispatch)
  set(between_dispatch_largest ${channel_between_dispatch})
endif()
math(EXPR chain_between "${extended_all} + ${between_dispatch_largest} + ${between_pass}")
if(chain_between GREATER chain_extended)
  set(chain_extended ${chain_between})
endif()

# Priming counts into a histogram and maps with the record's table; the alpha-keeping
# frame has both a histogram and a table copy.
math(EXPR budget_priming "${scratch_budget} + 1024")
math(EXPR budget_alpha "${scratch_budget} + 2048")
string(CONCAT report "passes: plain ${pass_plain}, portable ${pass_portable}, avx2 ${pass_avx2}, "
                     "avx512 ${pass_avx512} bytes; with a table per channel: plain ${channel_pass_plain}, "
                     "portable ${channel_pass_portable}, avx2 ${channel_pass_avx2}, avx512 ${channel_pass_avx512} "
                     "bytes. Priming ${chain_priming} (budget ${budget_priming}), "
                     "alpha put back by band ${chain_alpha} (budget ${budget_alpha}), "
                     "extended ${chain_extended} (budget ${budget_alpha})")
if(chain_priming GREATER budget_priming OR chain_alpha GREATER budget_alpha OR chain_extended GREATER budget_alpha)
  message(FATAL_ERROR "stack over budget (dearest passes: ${pass_name}, ${channel_pass_name}): ${report}")
endif()
message(STATUS "${report}")

# Writes the manual page OUT from the --help text of PROGRAM, so that the two never disagree.
# Usage: cmake -DPROGRAM=... -DOUT=... -DVERSION=... -P man_page.cmake
# A sanitizer build's leak check at exit has nothing to say about --help and must not fail the build.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help ended with ${status}")
endif()
# troff reads a backslash as an escape, a leading dot or quote as a request, and a plain "-" as a
# hyphen that may be typeset unlike the minus of an option.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(WRITE "${OUT}" ".TH KELVANE3D 6 \"\" \"Kelvane 3D ${VERSION}\" \"Games\"
.SH NAME
kelvane3d \\- real\\-time 3D road traffic on a city street
.SH DESCRIPTION
.nf
${help}.fi
.SH FILES
.TP
.I PREFIX/share/kelvane3d/3z\\-idaveva/
the installed data (PREFIX is /usr for the Debian package)
.TP
.I $XDG_CONFIG_HOME/kelvane3d/config.dat
the settings of a user running the installed data
(~/.config/kelvane3d/config.dat when XDG_CONFIG_HOME is not set)
")

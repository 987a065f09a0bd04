# What the package holds, for scripts/dist.sh and scripts/check_dist.sh alike.

# Each program goes in twice, NAME-32bit.exe and NAME-64bit.exe, from the two
# build folders' NAME.exe.
programs=(quillmere quillmere-cli)
# The programs that package managers put on the PATH, each under its own name:
# the console companion for scripts first, then the window program. A name here
# that is not among the programs is one the manifests announce before it is built.
commands=(quillmere-cli quillmere)
# The files from scripts/dist/, given Windows line ends.
texts=(README.txt detect.ps1 remediate.ps1)

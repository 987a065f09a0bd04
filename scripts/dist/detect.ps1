# Detection script of a remediation pair: exit 0 when Quillmere finds nothing to
# repair, 1 when it does, or when it cannot tell, or when its companion cannot run
# or ends any other way (so such a machine does not pass as healthy). The one line
# it prints is what the management console shows; nothing goes to standard error,
# which management tools count as a failed script.

# The installed folder, never the script's own: a 32-bit PowerShell sees the
# 64-bit Program Files folder only through ProgramW6432.
$folder = $env:ProgramW6432
if (-not $folder) { $folder = $env:ProgramFiles }
$companion = Join-Path $folder 'Quillmere\quillmere-cli.exe'
if (-not (Test-Path -LiteralPath $companion -PathType Leaf)) {
    Write-Output "Quillmere is not installed: $companion is missing"
    exit 1
}

# The companion writes UTF-8 to a pipe; PowerShell would read it in the OEM code page.
try { [Console]::OutputEncoding = New-Object System.Text.UTF8Encoding $false } catch { }

# A companion that cannot start (blocked by application control, a damaged copy,
# a 64-bit file on 32-bit Windows) is an error that PowerShell would report and
# then go on from, with no exit code: Stop makes it end in catch. Its exit code
# alone is no error (PowerShell 7.3 and later could make it one). Its standard
# error is dropped; Windows PowerShell 5.1 turns a line there into an error too,
# which also ends in catch, so such a run never passes as healthy either.
$code = $null
$output = $null
try {
    $ErrorActionPreference = 'Stop'
    $PSNativeCommandUseErrorActionPreference = $false
    $output = & $companion check 2>$null
    $code = $LASTEXITCODE
} catch {
    # The system's own reason (a refused start's), on one line.
    $failure = $_.Exception
    if ($failure.InnerException) { $failure = $failure.InnerException }
    $reason = ("$($failure.Message)" -replace '\s+', ' ').Trim()
    Write-Output "Quillmere could not run ${companion}: $reason"
    exit 1
}
$last = @($output) | Select-Object -Last 1
if ($null -ne $last) { Write-Output $last }
# Only 0 is healthy: 1 and 2 need repair or cannot tell, and a crash code (such as
# -1073741819) or none at all is no answer the management tool knows.
if ($code -eq 0) { exit 0 }
exit 1

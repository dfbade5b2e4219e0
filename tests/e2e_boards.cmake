# The three emulated boards of the command-line suite, in bus order, for run-vm; the third has
# the first one's serial, as two boards straight from the factory may. The suite
# (tests/e2e/test_cli_vm.cpp) hard-codes them; keep the two in step. Both the Linux build's
# e2e.cli and the Windows build's wine-vm.cli plug in these.
set(ROTORIX_CLI_VM_BOARDS
    --board --serial E2E-C1 --manufacturer Rotorix --product "Rotary Encoder Board"
            --version 0x0104 --settings 1=1,8=0x5A,9=0x0F,10=7
            --input-length 3 --feature-length 9
    --board --serial "Ωmega-C2" --manufacturer "Rotorix Ltd" --product "Encoder Board II"
            --version 0x0110 --settings 1=0,8=0x00,9=0x00,10=1
            --input-length 9 --feature-length 65
    --board --serial E2E-C1 --manufacturer Rotorix --product "Rotary Encoder Board"
            --version 0x0104 --settings 1=0,8=0x00,9=0x00,10=1
            --input-length 3 --feature-length 9)

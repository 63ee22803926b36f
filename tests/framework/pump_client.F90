! A host client in Fortran: sets up a pump block through the host's C
! interface and calls R3PUMP with its 73 arguments the way a Fortran host
! does -- every argument by reference, identifiers and names as integer
! words, no hidden lengths. Checks dimensions, names, residuals and report.
! Built with -DSHIFTED, argument 22 is left out so that every later argument
! arrives one position early: that variant must fail.
program pump_client
  implicit none
  integer, parameter :: nc = 1, lstrm = nc + 9, lname = 8
  integer :: nmatin, ninfi, nmatout, ninfout, nsstrm, issoff(1), isstyp(1)
  integer :: nint, intv(5), nreal, idblk(2), ipropset(6), kode, naux1, nf, ny, naux2, naux3
  integer :: nz, idiag, ieval1, ieval2, istat, ilayer, dum(64)
  integer :: idmatin(2), idinfin(2), idmatout(2), idinfout(2), ids(2)
  double precision :: smatin(lstrm), sinfin(1), smatout(lstrm), sinfout(1), realv(1)
  double precision :: flows(nc), t, p
  double precision, allocatable :: y(:), ylb(:), yub(:), yscl(:), ysbnd(:), f(:), fscl(:), dfdy(:)
  integer, allocatable :: iyattr(:), ijrow(:), ijcol(:), varnam(:), eqnnam(:)
  integer :: i, nrec, rec(40), reclen, failures, method, lstrm_arg
  integer, external :: r3host_nrec
  character(len=32) :: name
  character(len=160) :: line
  double precision, parameter :: rmiss = 1.0d35

  failures = 0
  method = 2
  ids = transfer('H2O     ', ids)
  call r3host_setup(nc, ids, method, istat)
  call expect(istat == 0, 'run set up')
  flows(1) = 1.0d0
  t = 300.0d0
  p = 1.0d5
  call r3host_stream(method, flows, t, p, smatin, istat)
  call expect(istat == 0, 'inlet stream flashed')

  nmatin = 1; ninfi = 0; nmatout = 1; ninfout = 0
  nsstrm = 1; issoff = 0; isstyp = 1; lstrm_arg = lstrm
  smatout = rmiss; sinfin = 0; sinfout = 0; realv = 0
  idmatin = transfer('FEED    ', idmatin)
  idmatout = transfer('PROD    ', idmatout)
  idinfin = transfer('        ', idinfin)
  idinfout = transfer('        ', idinfout)
  idblk = transfer('P1      ', idblk)
  nint = 5
  intv = (/ 1, 2, 0, 0, 1 /)      ! host header, then IMODE = 0, NPASS = 1
  nreal = 0
  ipropset = 0; ipropset(1) = method
  idiag = 4; ilayer = 0; dum = 0
  ieval1 = 0; ieval2 = 0
  nf = -1; ny = -1; nz = -1

  allocate(y(1), ylb(1), yub(1), yscl(1), ysbnd(1), f(1), fscl(1), dfdy(1))
  allocate(iyattr(1), ijrow(1), ijcol(1), varnam(1), eqnnam(1))
  kode = 13
  call entry()
  call expect(istat == 0, 'dimension request succeeds')
  call expect(ny == 21, 'NY = 21')
  call expect(nf == 14, 'NF = 14')
  call expect(nz == 44, 'NZ = 44')
  if (failures > 0) stop 1

  deallocate(y, ylb, yub, yscl, ysbnd, f, fscl, dfdy, iyattr, ijrow, ijcol, varnam, eqnnam)
  allocate(y(ny), ylb(ny), yub(ny), yscl(ny), ysbnd(ny), iyattr(ny), varnam(lname * ny))
  allocate(f(nf), fscl(nf), eqnnam(lname * nf), ijrow(nz), ijcol(nz), dfdy(nz))
  y = rmiss; ylb = rmiss; yub = rmiss; yscl = rmiss; ysbnd = rmiss; fscl = rmiss
  iyattr = 0; f = 0; dfdy = 0; ijrow = 0; ijcol = 0

  kode = 14
  call entry()
  name = transfer(varnam(8 * lname + 1:9 * lname), name)
  call expect(name == 'P1.SUCT_TEMP', 'variable 9 is P1.SUCT_TEMP')
  name = transfer(varnam(20 * lname + 1:21 * lname), name)
  call expect(name == 'P1.EHP', 'variable 21 is P1.EHP')
  name = transfer(eqnnam(13 * lname + 1:14 * lname), name)
  call expect(name == 'P1.ENER_BAL', 'equation 14 is P1.ENER_BAL')

  ! The pressure rise, the efficiency and the driver efficiency are given.
  y(14) = 5.0d5; iyattr(14) = 1
  y(18) = 0.7d0; iyattr(18) = 1
  y(20) = 1.0d0; iyattr(20) = 1
  kode = 0
  call entry()
  call expect(istat == 0, 'initialisation succeeds')
  call expect(abs(y(8) - 6.0d5) < 1.0d-6, 'outlet pressure initialised to 6 bar')

  kode = 1
  call entry()
  do i = 1, nf
    call expect(abs(f(i) / fscl(i)) < 1.0d-6, 'residual at the initialised point is small')
  end do

  kode = 101
  call entry()
  nrec = r3host_nrec(22)
  call expect(nrec == 8, 'eight report records')
  call r3host_getrec(22, 2, rec, 40, reclen)
  line = transfer(rec, line)
  call expect(line(1:reclen) == '                      ***       R3PUMP RESULTS      ***', 'report title')
  call r3host_getrec(22, 3, rec, 40, reclen)
  line = transfer(rec, line)
  call expect(line(1:reclen) == '    OUTLET PRESSURE (N/M2)          6.000000E+05', 'report outlet pressure')

  deallocate(y, ylb, yub, yscl, ysbnd, f, fscl, dfdy, iyattr, ijrow, ijcol, varnam, eqnnam)
  if (failures > 0) then
    print '(a, i0, a)', 'pump client: ', failures, ' check(s) failed'
    stop 1
  end if
  print '(a)', 'pump client: all checks passed'

contains

  subroutine expect(ok, what)
    logical, intent(in) :: ok
    character(len=*), intent(in) :: what
    if (.not. ok) then
      print '(2a)', 'FAILED: ', what
      failures = failures + 1
    end if
  end subroutine

  subroutine entry()
#ifndef SHIFTED
    call r3pump(nmatin, smatin, ninfi, sinfin, nmatout, smatout, ninfout, sinfout, &
                idmatin, idinfin, idmatout, idinfout, lstrm_arg, nsstrm, issoff, isstyp, &
                nint, intv, nreal, realv, idblk, dum, ipropset, dum, dum, dum, dum, dum, dum, &
                dum, dum, dum, dum, ilayer, dum, dum, kode, naux1, nf, ny, naux2, naux3, &
                y, ylb, yub, yscl, ysbnd, iyattr, f, fscl, dum, nz, ijrow, ijcol, dfdy, &
                dum, dum, dum, lname, dum, varnam, eqnnam, idiag, dum, dum, dum, dum, dum, &
                ieval1, ieval2, dum, dum, istat)
#else
    call r3pump(nmatin, smatin, ninfi, sinfin, nmatout, smatout, ninfout, sinfout, &
                idmatin, idinfin, idmatout, idinfout, lstrm_arg, nsstrm, issoff, isstyp, &
                nint, intv, nreal, realv, idblk, ipropset, dum, dum, dum, dum, dum, dum, &
                dum, dum, dum, dum, ilayer, dum, dum, kode, naux1, nf, ny, naux2, naux3, &
                y, ylb, yub, yscl, ysbnd, iyattr, f, fscl, dum, nz, ijrow, ijcol, dfdy, &
                dum, dum, dum, lname, dum, varnam, eqnnam, idiag, dum, dum, dum, dum, dum, &
                ieval1, ieval2, dum, dum, istat, dum)
#endif
  end subroutine

end program
